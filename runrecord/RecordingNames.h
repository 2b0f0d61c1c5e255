#pragma once

#include <QString>

#include <ctime>
#include <string>

// How a recording's files are named (its video, its text file and its run record), and how
// its elapsed time is shown.
class RecordingNames
{
public:
    // Names in folder for a recording asked for at stamp. When an earlier recording of the
    // same second already holds one of the names, "_2", "_3", ... is added so that its files
    // stay.
    RecordingNames(const std::string &folder, const std::string &stamp);

    const std::string &videoFileName() const { return video; }
    const std::string &textFileName() const { return text; }
    const std::string &runRecordFileName() const { return runRecord; }

    // "/DDMMYYYY_HHMMSS_cam" for the local time of time.
    static std::string stamp(std::time_t time);
    static std::string stamp(const std::tm &localTime);
    // "MM:SS" with minutes not wrapped at 60, each part at least two digits.
    static QString elapsedText(qint64 milliseconds);

private:
    std::string video;
    std::string text;
    std::string runRecord;
};

#pragma once

#include <QString>

#include <ctime>
#include <string>

// How a recording's files are named: its video, its text file, its run record and its spill
// file, each the base name DDMMYYYY_HHMMSS_cam (local time) with its suffix, and _2, _3, ...
// after the base
// for a later recording of the same second. The recorder names its files here, and readers of
// recordings recognise them here.
class RecordingNames
{
public:
    static constexpr char videoSuffix[] = ".avi";
    static constexpr char textSuffix[] = ".txt";
    static constexpr char runRecordSuffix[] = ".json";
    // The eyelid's closure on every frame, where a region was given.
    static constexpr char eyelidTableSuffix[] = "_eyelid.csv";
    // Frames waiting on disk for the encoder, raw.
    static constexpr char spillSuffix[] = "_spill.raw";

    // Names in folder for a recording asked for at stamp. When an earlier recording of the
    // same second already holds one of the names, "_2", "_3", ... is added so that its files
    // stay.
    RecordingNames(const std::string &folder, const std::string &stamp);

    const std::string &videoFileName() const { return video; }
    const std::string &textFileName() const { return text; }
    const std::string &runRecordFileName() const { return runRecord; }
    const std::string &eyelidTableFileName() const { return eyelidTable; }
    const std::string &spillFileName() const { return spill; }

    // "/DDMMYYYY_HHMMSS_cam" for the local time of time.
    static std::string stamp(std::time_t time);
    static std::string stamp(const std::tm &localTime);
    // Whether a file's base name (its name without the suffix) is one that recordings get.
    static bool isRecordingBaseName(const QString &baseName);

private:
    std::string video;
    std::string text;
    std::string runRecord;
    std::string eyelidTable;
    std::string spill;
};

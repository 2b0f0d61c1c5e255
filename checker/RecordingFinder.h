#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// Finds the recordings under working directories: every video, and every text file or run
// record named like a recording's, with the files of the same base name beside it; whatever
// the file is, so that one that is not a regular file is found and failed. A folder that
// cannot be read may hold recordings, so it is found as well.
class RecordingFinder
{
public:
    struct Recording
    {
        QString folder;
        QString baseName; // such as 06122026_061947_cam; empty for an unreadable folder
        // The folder cannot be listed or its files opened.
        bool unreadable = false;
        QString video() const;
        QString text() const;
        QString runRecord() const;
        QString file(const QString &suffix) const;
    };

    // Recordings in all folders and the folders inside them, numbered folders in numeric
    // order (2 before 10).
    static QVector<Recording> find(const QStringList &folders);
};

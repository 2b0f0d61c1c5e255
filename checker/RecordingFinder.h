#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// Finds the recordings under working directories: every video, and every text file or run
// record named like a recording's, with the files of the same base name beside it.
class RecordingFinder
{
public:
    struct Recording
    {
        QString folder;
        QString baseName; // such as 06122026_061947_cam
        QString video() const;
        QString text() const;
        QString runRecord() const;
        QString file(const QString &suffix) const;
    };

    // Recordings in all folders and the folders inside them, numbered folders in numeric
    // order (2 before 10).
    static QVector<Recording> find(const QStringList &folders);
};

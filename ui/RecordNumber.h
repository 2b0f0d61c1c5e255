#pragma once

#include <QByteArray>
#include <QString>

// The numbering of record folders: every run gets a new folder inside the working directory,
// named one more than the largest number among the names of its subdirectories.
class RecordNumber
{
public:
    // A folder name read as the C library's atoi reads it: leading white space, an optional
    // sign, then the digits up to the first non-digit. A name that does not begin with a number
    // reads as 0, and so does one whose number does not fit an int, so that one odd folder
    // cannot throw the numbering off.
    static int read(const QByteArray &name);
    // The number of the next record folder in workingDirectory: 1 when no subdirectory is
    // numbered. Files and hidden directories do not count.
    static qint64 next(const QString &workingDirectory);
};

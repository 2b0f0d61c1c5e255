#pragma once

#include <QByteArray>
#include <QString>

// The numbering of record folders: every run gets a new folder inside the working directory,
// named one more than the largest number among the names of its subdirectories. Numbers are
// kept as their decimal digits, so that a name of any length counts as the number it spells
// and the next number never repeats one already taken.
class RecordNumber
{
public:
    // The number a folder name begins with, read as the C library's atoi reads it: leading
    // white space, an optional sign, then the digits up to the first non-digit. Given as its
    // digits without leading zeros; empty for a name that does not begin with a number above 0.
    static QByteArray read(const QByteArray &name);
    // The number of the next record folder in workingDirectory: "1" when no subdirectory is
    // numbered. Files and hidden directories do not count.
    static QString next(const QString &workingDirectory);
};

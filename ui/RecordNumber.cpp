#include "RecordNumber.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

int RecordNumber::read(const QByteArray &name)
{
    errno = 0;
    const long long value = std::strtoll(name.constData(), nullptr, 10);
    if (errno == ERANGE || value < INT_MIN || value > INT_MAX)
        return 0;
    return int(value);
}

qint64 RecordNumber::next(const QString &workingDirectory)
{
    int largest = 0;
    const QStringList names = QDir(workingDirectory).entryList(QDir::Dirs);
    for (const QString &name : names)
        largest = std::max(largest, read(name.toUtf8()));
    // Computed wider than int: a folder named 2147483647 still gets a successor.
    return qint64(largest) + 1;
}

#include "ui/RecordNumber.h"

#include <QDir>

#include <algorithm>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The C library's white space in the "C" locale.
bool isSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Numbers without leading zeros: the longer is the larger, and of two as long the one that
// sorts later.
bool isLess(const QByteArray &number, const QByteArray &other)
{
    if (number.size() != other.size())
        return number.size() < other.size();
    return number < other;
}

QByteArray plusOne(QByteArray number)
{
    int position = number.size() - 1;
    for (; position >= 0 && number.at(position) == '9'; --position)
        number[position] = '0';
    if (position < 0)
        return number.prepend('1');
    number[position] = char(number.at(position) + 1);
    return number;
}

} // namespace

QByteArray RecordNumber::read(const QByteArray &name)
{
    const char *c = name.constData();
    while (isSpace(*c))
        ++c;
    const bool negative = *c == '-';
    if (*c == '-' || *c == '+')
        ++c;
    while (*c == '0')
        ++c;
    const char *digits = c;
    while (isDigit(*c))
        ++c;
    if (negative)
        return {};
    return QByteArray(digits, int(c - digits));
}

QString RecordNumber::next(const QString &workingDirectory)
{
    QByteArray largest;
    const QStringList names = QDir(workingDirectory).entryList(QDir::Dirs);
    for (const QString &name : names)
        largest = std::max(largest, read(name.toUtf8()), isLess);
    return QString::fromLatin1(plusOne(largest.isEmpty() ? QByteArray("0") : largest));
}

#include "runrecord/FrameLine.h"

#include <QRegularExpression>
#include <QString>

std::string FrameLine::text() const
{
    return std::to_string(index) + ' ' + std::to_string(ms) + '\n';
}

std::optional<FrameLine> FrameLine::parse(const QByteArray &line)
{
    // Up to 18 digits, so that every number fits a qint64.
    static const QRegularExpression form(
        QStringLiteral("^(0|[1-9]\\d{0,17}) (0|[1-9]\\d{0,17})\r?\\z"));
    const QRegularExpressionMatch match = form.match(QString::fromLatin1(line));
    if (!match.hasMatch())
        return std::nullopt;
    return FrameLine{match.captured(1).toLongLong(), match.captured(2).toLongLong()};
}

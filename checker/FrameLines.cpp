#include "checker/FrameLines.h"

#include <QByteArrayList>
#include <QFile>
#include <QRegularExpression>

QVector<qint64> FrameLines::times() const
{
    QVector<qint64> times;
    times.reserve(lines.size());
    for (const Line &line : lines)
        times.append(line.ms);
    return times;
}

FrameLines FrameLines::read(const QString &fileName)
{
    FrameLines result;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    result.opened = true;
    QByteArrayList texts = file.readAll().split('\n');
    const bool endsWithLineEnd = texts.last().isEmpty();
    if (endsWithLineEnd)
        texts.removeLast();
    static const QRegularExpression form(
        QStringLiteral("^(0|[1-9]\\d{0,17}) (0|[1-9]\\d{0,17})\r?$"));
    for (const QByteArray &text : texts) {
        ++result.count;
        const QRegularExpressionMatch match = form.match(QString::fromLatin1(text));
        if (!match.hasMatch() || (result.count == texts.size() && !endsWithLineEnd)) {
            result.malformed.append(result.count);
            continue;
        }
        result.lines.append({match.captured(1).toLongLong(), match.captured(2).toLongLong()});
    }
    return result;
}

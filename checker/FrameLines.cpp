#include "checker/FrameLines.h"

#include <QByteArrayList>
#include <QFile>

QVector<qint64> FrameLines::times() const
{
    QVector<qint64> times;
    times.reserve(lines.size());
    for (const FrameLine &line : lines)
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
    for (const QByteArray &text : texts) {
        ++result.count;
        const std::optional<FrameLine> line = FrameLine::parse(text);
        if (!line || (result.count == texts.size() && !endsWithLineEnd)) {
            result.malformed.append(result.count);
            continue;
        }
        result.lines.append(*line);
    }
    return result;
}

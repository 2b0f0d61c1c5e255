#include "eyelid/EyelidTable.h"

#include <QFile>
#include <QList>

std::string EyelidTable::text(const Row &row)
{
    const QString closure = row.closure ? QString::number(*row.closure, 'f', 4) : QString();
    return QStringLiteral("%1,%2,%3\n")
        .arg(row.frame)
        .arg(row.ms, 0, 'f', 3)
        .arg(closure)
        .toStdString();
}

std::optional<EyelidTable::Row> EyelidTable::parse(const QByteArray &line)
{
    const QList<QByteArray> fields = line.trimmed().split(',');
    if (fields.size() != 3)
        return std::nullopt;
    bool frameOk = false;
    bool msOk = false;
    bool closureOk = true;
    Row row;
    row.frame = fields[0].toLongLong(&frameOk);
    row.ms = fields[1].toDouble(&msOk);
    if (!fields[2].isEmpty())
        row.closure = fields[2].toDouble(&closureOk);
    if (!frameOk || !msOk || !closureOk)
        return std::nullopt;
    return row;
}

std::optional<QVector<EyelidTable::Row>> EyelidTable::read(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || file.readLine() != QByteArray(header))
        return std::nullopt;
    QVector<Row> rows;
    while (!file.atEnd()) {
        const std::optional<Row> row = parse(file.readLine());
        if (!row)
            return std::nullopt;
        rows.append(*row);
    }
    return rows;
}

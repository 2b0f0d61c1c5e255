#include "checker/CheckTable.h"

#include <QDir>

#include <algorithm>
#include <iterator>

namespace {

enum class Align { Left, Right };

struct Column
{
    const char *title;
    Align align;
};

const Column columns[] = {
    {"folder", Align::Left}, {"recording", Align::Left}, {"frames", Align::Right},
    {"lines", Align::Right}, {"fps", Align::Right},      {"largest ms", Align::Right},
    {"lost", Align::Right},  {"verdict", Align::Left},
};
constexpr int columnCount = int(std::size(columns));

QStringList cellsOf(const RecordingVerdict &verdict)
{
    return {QDir::toNativeSeparators(verdict.recording.folder),
            verdict.recording.unreadable ? QStringLiteral("-") : verdict.recording.baseName,
            QString::number(verdict.framesDecoded),
            QString::number(verdict.lines),
            QString::number(verdict.measuredFps, 'f', 2),
            QString::number(verdict.largestIntervalMs, 'f', 0),
            verdict.framesLost ? QString::number(*verdict.framesLost) : QStringLiteral("-"),
            CheckTable::verdictText(verdict)};
}

QString rowText(const QStringList &cells, const QVector<int> &widths)
{
    QStringList padded;
    for (int column = 0; column < columnCount; ++column) {
        const bool last = column == columnCount - 1;
        if (last)
            padded.append(cells[column]);
        else if (columns[column].align == Align::Left)
            padded.append(cells[column].leftJustified(widths[column]));
        else
            padded.append(cells[column].rightJustified(widths[column]));
    }
    return padded.join(QStringLiteral("  ")) + QLatin1Char('\n');
}

} // namespace

QString CheckTable::text(const QVector<RecordingVerdict> &verdicts)
{
    QVector<QStringList> rows;
    QStringList header;
    for (const Column &column : columns)
        header.append(QString::fromLatin1(column.title));
    rows.append(header);
    for (const RecordingVerdict &verdict : verdicts)
        rows.append(cellsOf(verdict));

    QVector<int> widths(columnCount, 0);
    for (const QStringList &row : rows) {
        for (int column = 0; column < columnCount; ++column)
            widths[column] = std::max(widths[column], int(row[column].size()));
    }
    QString table;
    for (const QStringList &row : rows)
        table += rowText(row, widths);
    return table;
}

QString CheckTable::verdictText(const RecordingVerdict &verdict)
{
    if (verdict.passed())
        return QStringLiteral("ok");
    return QStringLiteral("FAIL: ") + verdict.problems.join(QStringLiteral("; "));
}

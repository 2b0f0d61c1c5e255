#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <optional>
#include <string>

// A recording's eyelid table, "frame,ms,closure" and one row per line of its text file: the
// frame's index, its time on the recording clock in milliseconds with three decimals, and the
// lid's closure from 0 (open) to 1 (closed) with four; the closure is left empty where the
// frame could not be measured. The recorder writes it live and the checker from the video.
struct EyelidTable
{
    struct Row
    {
        qint64 frame = 0;
        double ms = 0;
        std::optional<double> closure;
    };

    static constexpr char header[] = "frame,ms,closure\n";

    // The row as written, with its line end.
    static std::string text(const Row &row);
    // A row without its line end; nothing when it is not of the form.
    static std::optional<Row> parse(const QByteArray &line);
    // The rows of a table file; nothing when it does not open or a row is not of the form.
    static std::optional<QVector<Row>> read(const QString &fileName);
};

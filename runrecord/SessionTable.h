#pragma once

#include "runrecord/RunRecord.h"

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// A session's table, session_DDMMYYYY_HHMMSS.csv in the working directory: one row per trial,
// appended and flushed as the trial ends, so that a program that dies keeps the rows of the
// trials that ended. Comma-separated with a header line; a field holding a comma, a quote or a
// line end is quoted, its quotes doubled. The session writes it and the checker reads it.
class SessionTable
{
public:
    // How the eye gate let the trial go: not asked, the eye was open, or the wait gave up.
    enum class Eye { NotAsked, Open, GaveUp };

    struct Row
    {
        int trial = 0;
        QString folder; // the record folder, relative to the table's folder
        QDateTime started;
        QString result; // the run record's, or "cancelled" for a trial that recorded nothing
        int frames = 0;
        int framesLost = 0;
        qint64 waitedMs = 0; // for the eye to open
        Eye eye = Eye::NotAsked;
        // The stimulus hardware's lines, in their order, joined by ';' in the table (so a line
        // that holds one reads back as two).
        QStringList serialLines;
        bool operator==(const Row &other) const;
    };

    static constexpr char header[] =
        "trial,folder,started,result,frames,frames lost,waited for the eye ms,eye,serial events";
    static constexpr char cancelled[] = "cancelled";

    // "session_DDMMYYYY_HHMMSS.csv" for the local time of start.
    static QString fileName(const QDateTime &start);
    // The row of a trial that ended with record, read from its folder; a trial without one
    // (cancelled before it recorded) gets only what the session knows.
    static Row rowOf(int trial, const QString &folder, const std::optional<RunRecord> &record);
    // The run record in folder, the one JSON file a record folder holds.
    static std::optional<RunRecord> recordIn(const QString &folder);

    static QString line(const Row &row);
    // A line without its end; nothing when it is not a row.
    static std::optional<Row> parse(const QString &line);
    // Every row of a table; nothing, and why, when it does not open or a line is not a row.
    static std::optional<QVector<Row>> read(const QString &fileName, QString *why = nullptr);

    // Creates the table with its header; false, and why, when it cannot be written.
    bool create(const QString &fileName, QString *why = nullptr);
    bool append(const Row &row);
    QString path() const { return file.fileName(); }

private:
    QFile file;
};

#pragma once

#include <QMutex>
#include <QStringList>
#include <QThread>
#include <QVector>

// Records the debug messages of every thread while it exists and passes each on to the handler
// installed before it, so that QTest::ignoreMessage keeps working.
class MessageLog
{
public:
    MessageLog();
    ~MessageLog();
    MessageLog(const MessageLog &) = delete;
    MessageLog &operator=(const MessageLog &) = delete;

    // The messages written in the thread that created the log, in order.
    QStringList ofThisThread() const;
    // The messages written in any other thread, in order.
    QStringList ofOtherThreads() const;
    QStringList all() const;

private:
    struct Entry
    {
        Qt::HANDLE thread;
        QString text;
    };
    static void record(QtMsgType type, const QMessageLogContext &context, const QString &text);
    QStringList select(bool thisThread) const;

    static MessageLog *current;
    QtMessageHandler previous;
    Qt::HANDLE creator;
    mutable QMutex mutex;
    QVector<Entry> entries;
};

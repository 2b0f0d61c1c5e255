#include "tests/support/MessageLog.h"

MessageLog *MessageLog::current = nullptr;

MessageLog::MessageLog() : creator(QThread::currentThreadId())
{
    current = this;
    previous = qInstallMessageHandler(&MessageLog::record);
}

MessageLog::~MessageLog()
{
    qInstallMessageHandler(previous);
    current = nullptr;
}

void MessageLog::record(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    MessageLog *log = current;
    if (type == QtDebugMsg) {
        QMutexLocker locker(&log->mutex);
        log->entries.append({QThread::currentThreadId(), text});
    }
    if (log->previous)
        log->previous(type, context, text);
}

QStringList MessageLog::select(bool thisThread) const
{
    QMutexLocker locker(&mutex);
    QStringList texts;
    for (const Entry &entry : entries)
        if ((entry.thread == creator) == thisThread)
            texts << entry.text;
    return texts;
}

QStringList MessageLog::ofThisThread() const
{
    return select(true);
}

QStringList MessageLog::ofOtherThreads() const
{
    return select(false);
}

QStringList MessageLog::all() const
{
    QMutexLocker locker(&mutex);
    QStringList texts;
    for (const Entry &entry : entries)
        texts << entry.text;
    return texts;
}

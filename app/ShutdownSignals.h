#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the operating system's requests to end the program into a signal delivered in the
// thread that made this object, so that they end it the way closing its window does: SIGINT
// (Ctrl-C in its terminal), SIGTERM (kill, a shutdown) and SIGHUP (its terminal closed, a
// logout). A request that the program was started to ignore (nohup) stays ignored. A second
// request, while the first is still being served, ends the process at once, as the signal
// would have without this object. While it exists, writing past a file-size limit (SIGXFSZ)
// or into a pipe nobody reads (SIGPIPE) fails that write instead of killing the process.
// One at a time per process. Where these signals do not exist it does nothing.
class ShutdownSignals : public QObject
{
    Q_OBJECT
public:
    explicit ShutdownSignals(QObject *parent = nullptr);
    ~ShutdownSignals() override;
    ShutdownSignals(const ShutdownSignals &) = delete;
    ShutdownSignals &operator=(const ShutdownSignals &) = delete;

signals:
    void endRequested();

private:
    void takeRequest();

    QSocketNotifier *notifier = nullptr;
};

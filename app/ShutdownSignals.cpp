#include "app/ShutdownSignals.h"

#include <QDebug>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <atomic>
#include <cerrno>
#include <csignal>
#include <iterator>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int endSignals[] = {SIGINT, SIGTERM, SIGHUP};
// These would kill the process in the middle of a write; caught, they fail only the write.
constexpr int writeSignals[] = {SIGXFSZ, SIGPIPE};
constexpr std::size_t handledCount = std::size(endSignals) + std::size(writeSignals);

// Process-wide, like the dispositions: a signal handler reaches nothing else. The handler
// writes into one end of the pair, the notifier reads the other in the event loop.
int requestPair[2] = {-1, -1};
std::atomic<int> requestsTaken{0};
static_assert(ATOMIC_INT_LOCK_FREE == 2, "the signal handler needs a lock-free counter");
struct Previous
{
    int number;
    struct sigaction action;
};
Previous previous[handledCount];

void requestEnd(int number)
{
    if (requestsTaken.fetch_add(1) > 0) {
        // Blocked while this handler runs, the signal arrives again as it returns.
        std::signal(number, SIG_DFL);
        std::raise(number);
        return;
    }
    const int savedErrno = errno;
    const char request = 1;
    [[maybe_unused]] const ssize_t written = ::write(requestPair[0], &request, 1);
    errno = savedErrno;
}

// Catching rather than ignoring: the programs the recorder starts get the default back.
void failTheWrite(int) {}

void install(std::size_t slot, int number, void (*handler)(int), bool keepIgnored)
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (const int end : endSignals)
        sigaddset(&action.sa_mask, end);
    action.sa_flags = SA_RESTART;
    previous[slot].number = number;
    sigaction(number, nullptr, &previous[slot].action);
    if (!(keepIgnored && previous[slot].action.sa_handler == SIG_IGN))
        sigaction(number, &action, nullptr);
}

} // namespace

ShutdownSignals::ShutdownSignals(QObject *parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, requestPair) != 0) {
        qDebug("Shutdown signals not handled");
        return;
    }
    requestsTaken = 0;
    notifier = new QSocketNotifier(requestPair[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &ShutdownSignals::takeRequest);
    std::size_t slot = 0;
    for (const int number : endSignals)
        install(slot++, number, requestEnd, true);
    for (const int number : writeSignals)
        install(slot++, number, failTheWrite, false);
}

ShutdownSignals::~ShutdownSignals()
{
    if (!notifier)
        return;
    for (const Previous &handled : previous)
        sigaction(handled.number, &handled.action, nullptr);
    ::close(requestPair[0]);
    ::close(requestPair[1]);
    requestPair[0] = requestPair[1] = -1;
}

void ShutdownSignals::takeRequest()
{
    char request = 0;
    if (::read(requestPair[1], &request, 1) == 1)
        emit endRequested();
}
#else
// A windowed program gets no such requests here: closing its window is its only end.
ShutdownSignals::ShutdownSignals(QObject *parent) : QObject(parent) {}

ShutdownSignals::~ShutdownSignals() = default;

void ShutdownSignals::takeRequest() {}
#endif

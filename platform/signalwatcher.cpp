#include "platform/signalwatcher.h"

#include <QSocketNotifier>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int Watched[] = {SIGTERM, SIGINT, SIGHUP};

// Signal handler -> event loop; signal handler -> watchdog; watcher ->
// watchdog (stand down, when no request ever came).
int loopSockets[2] = {-1, -1};
int watchdogPipe[2] = {-1, -1};
int stopPipe[2] = {-1, -1};
// The first termination request's signal, 0 before there is one.
std::atomic<int> firstRequest{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

// The handler's ends of the pipes do not block: a byte that does not fit
// (thousands of requests nobody has read yet) is dropped, and that changes
// nothing, since the first request is the one that counts.
void writeByte(int fd, char byte)
{
    while (::write(fd, &byte, 1) < 0 && errno == EINTR) {
    }
}

bool readByte(int fd, char &byte)
{
    ssize_t got;
    while ((got = ::read(fd, &byte, 1)) < 0 && errno == EINTR) {
    }
    return got == 1;
}

bool setNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

void onSignal(int number)
{
    const int saved = errno;
    int none = 0;
    firstRequest.compare_exchange_strong(none, number);
    writeByte(loopSockets[0], char(number));
    writeByte(watchdogPipe[1], char(number));
    errno = saved;
}

// Ends the process as the signal itself would have.
[[noreturn]] void endBy(int number)
{
    std::signal(number, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, number);
    // This thread blocks the watched signals; the one sent here must reach it.
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::kill(::getpid(), number);
    ::_exit(128 + number);
}

// Waits for the first termination request, then ends the process when it has
// not ended by itself GraceMs later. The deadline is checked before anything
// is read, so a stream of requests cannot put it off.
void watch()
{
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> deadline;
    int number = 0;
    while (true) {
        int timeoutMs = -1;
        if (deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            if (left <= 0)
                endBy(number);
            timeoutMs = int(left);
        }
        pollfd fds[2] = {{watchdogPipe[0], POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
        if (::poll(fds, 2, timeoutMs) <= 0)
            continue; // the deadline, or EINTR
        if (fds[1].revents & POLLIN)
            return;
        char byte;
        if ((fds[0].revents & POLLIN) && readByte(watchdogPipe[0], byte) && !deadline) {
            number = byte;
            deadline = Clock::now() + std::chrono::milliseconds(SignalWatcher::GraceMs);
        }
    }
}

} // namespace

SignalWatcher::SignalWatcher(QObject *parent)
    : QObject(parent)
{
    if (loopSockets[0] < 0
        && (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, loopSockets) != 0 || !setNonBlocking(loopSockets[0])))
        return;
    if (watchdogPipe[0] < 0 && (::pipe2(watchdogPipe, O_CLOEXEC) != 0 || !setNonBlocking(watchdogPipe[1])))
        return;
    if (stopPipe[0] < 0 && ::pipe2(stopPipe, O_CLOEXEC) != 0)
        return;
    m_notifier = new QSocketNotifier(loopSockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::readSignal);

    // The watchdog never runs the handler: it must never wait on anything but
    // its pipes, and the handler tells it through its pipe anyway.
    sigset_t watched;
    sigset_t previous;
    sigemptyset(&watched);
    for (int number : Watched)
        sigaddset(&watched, number);
    ::pthread_sigmask(SIG_BLOCK, &watched, &previous);
    m_watchdog = std::thread(watch);
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : Watched)
        sigaction(number, &action, nullptr);
}

SignalWatcher::~SignalWatcher()
{
    // From here on a request ends the process by its default action.
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (int number : Watched)
        sigaction(number, &action, nullptr);
    if (!m_watchdog.joinable())
        return;
    if (firstRequest.load() != 0) {
        // The process is ending on a request; what still runs after the
        // watcher (the window's and the application's end) stays watched.
        m_watchdog.detach();
        return;
    }
    const char stop = 1;
    while (::write(stopPipe[1], &stop, 1) < 0 && errno == EINTR) {
    }
    m_watchdog.join();
}

void SignalWatcher::readSignal()
{
    char byte = 0;
    if (!readByte(loopSockets[1], byte))
        return;
    Q_EMIT terminationRequested(int(byte));
}

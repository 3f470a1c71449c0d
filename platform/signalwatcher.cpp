#include "platform/signalwatcher.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <deque>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int Watched[] = {SIGTERM, SIGINT, SIGHUP};
constexpr char StopWatchdog = 0;

// Signal handler -> event loop; signal handler -> watchdog; event loop ->
// watchdog (one byte for each request it has taken).
int loopSockets[2] = {-1, -1};
int watchdogPipe[2] = {-1, -1};
int takenPipe[2] = {-1, -1};

void writeByte(int fd, char byte)
{
    // write() is async-signal-safe. A full pipe only happens after thousands
    // of unread signals; dropping one then changes nothing.
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

void onSignal(int number)
{
    const int saved = errno;
    writeByte(loopSockets[0], char(number));
    writeByte(watchdogPipe[1], char(number));
    errno = saved;
}

// Pairs each request with the event loop taking it, in order, and ends the
// process when the oldest request not yet taken is GraceMs old. The loop
// may take a request before this thread has even read it from its pipe.
void watch()
{
    using Clock = std::chrono::steady_clock;
    std::deque<std::pair<int, Clock::time_point>> waiting; // requests not taken yet
    int takenAhead = 0;                                   // taken before they were read here
    while (true) {
        int timeoutMs = -1;
        if (!waiting.empty()) {
            const auto left = waiting.front().second + std::chrono::milliseconds(SignalWatcher::GraceMs) - Clock::now();
            timeoutMs = int(std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(left).count()));
        }
        pollfd fds[2] = {{watchdogPipe[0], POLLIN, 0}, {takenPipe[0], POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0)
            continue; // EINTR
        if (ready == 0 && !waiting.empty()) {
            // The window's thread is stuck: end now, as the signal itself would.
            const int number = waiting.front().first;
            std::signal(number, SIG_DFL);
            ::kill(::getpid(), number);
            ::_exit(128 + number);
        }
        char byte;
        if ((fds[1].revents & POLLIN) && readByte(takenPipe[0], byte)) {
            if (waiting.empty())
                ++takenAhead;
            else
                waiting.pop_front();
        }
        if ((fds[0].revents & POLLIN) && readByte(watchdogPipe[0], byte)) {
            if (byte == StopWatchdog)
                return;
            if (takenAhead > 0)
                --takenAhead;
            else
                waiting.emplace_back(int(byte), Clock::now());
        }
    }
}

} // namespace

SignalWatcher::SignalWatcher(QObject *parent)
    : QObject(parent)
{
    if (loopSockets[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, loopSockets) != 0)
        return;
    if (watchdogPipe[0] < 0 && ::pipe(watchdogPipe) != 0)
        return;
    if (takenPipe[0] < 0 && ::pipe(takenPipe) != 0)
        return;
    m_notifier = new QSocketNotifier(loopSockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::readSignal);
    m_watchdog = std::thread(watch);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : Watched)
        sigaction(number, &action, nullptr);
}

SignalWatcher::~SignalWatcher()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (int number : Watched)
        sigaction(number, &action, nullptr);
    if (m_watchdog.joinable()) {
        writeByte(watchdogPipe[1], StopWatchdog);
        m_watchdog.join();
    }
}

void SignalWatcher::readSignal()
{
    char byte = 0;
    if (!readByte(loopSockets[1], byte))
        return;
    // Taken: the watchdog stands down before the window starts to close.
    writeByte(takenPipe[1], 1);
    Q_EMIT terminationRequested(int(byte));
}

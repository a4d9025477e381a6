#include "platform/stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace mervik {

namespace {

int stopPipe[2] = {-1, -1};
volatile std::sig_atomic_t stopFlag = 0;

extern "C" void onStopSignal(int) {
    stopFlag = 1;
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

int installStopSignals() {
    if (stopPipe[0] >= 0)
        return stopPipe[0];
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        stopPipe[0] = stopPipe[1] = -1;
        return -1;
    }
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    // Interrupted waits and writes go on; a running sibling is ended through
    // the descriptor, so that the program can end normally.
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    // Sibling programs run in a process group of their own, out of reach of a
    // Ctrl-C; ignoring these (inherited across exec) keeps one that writes to
    // the terminal from being stopped there for good.
    ::signal(SIGTTOU, SIG_IGN);
    ::signal(SIGTTIN, SIG_IGN);
    return stopPipe[0];
}

bool stopRequested() {
    return stopFlag != 0;
}

void requestStop() {
    if (stopPipe[1] >= 0)
        onStopSignal(0);
    else
        stopFlag = 1;
}

int stopDescriptor() {
    return stopPipe[0];
}

bool isTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) == 1;
}

}  // namespace mervik

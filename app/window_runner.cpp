#include "app/window_runner.h"

#include <QCoreApplication>
#include <QEvent>

#include <fcntl.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/process_spawn.h"

namespace mervik {

namespace {
// Short enough for a smooth repaint, long enough not to spin.
constexpr auto kSlice = std::chrono::milliseconds(30);

bool isUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::TabletMove:
        case QEvent::InputMethod:
            return true;
        default:
            return false;
    }
}
}  // namespace

InputBlocker::InputBlocker() {
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::instance()->installEventFilter(this);
}

InputBlocker::~InputBlocker() {
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::instance()->removeEventFilter(this);
}

bool InputBlocker::eventFilter(QObject* watched, QEvent* event) {
    if (isUserInput(event->type()))
        return true;
    return QObject::eventFilter(watched, event);
}

WindowRunner::WindowRunner(Spawn spawn) : spawn_(std::move(spawn)) {
    if (::pipe2(cancelPipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        cancelPipe_[0] = cancelPipe_[1] = -1;
}

WindowRunner::~WindowRunner() {
    for (const int fd : cancelPipe_)
        if (fd >= 0)
            ::close(fd);
}

void WindowRunner::cancel() {
    cancelled_ = true;
    const char byte = 1;
    if (cancelPipe_[1] >= 0) [[maybe_unused]]
        const ssize_t n = ::write(cancelPipe_[1], &byte, 1);
}

void WindowRunner::startAhead(const std::string& commandLine) {
    if (!spawn_ && !cancelled_ && startingAheadPays())
        ahead_.start(commandLine, environment());
}

void WindowRunner::run(const std::string& commandLine) {
    runStep(commandLine);
}

SpawnResult WindowRunner::runStep(const std::string& commandLine) {
    SpawnResult result;
    // The wait itself is a plain blocking one on a helper thread; this thread
    // only repaints meanwhile. Input from the window system stays queued by
    // ExcludeUserInputEvents and is handled when the run is over; input sent
    // to widgets directly is dropped by the blocker.
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    running_ = true;
    InputBlocker blocker;
    std::thread worker([&] {
        if (spawn_) {
            result.started = spawn_(commandLine);
            result.exited = result.started;
        } else {
            SpawnLimits limits;
            limits.timeoutSeconds = stepLimit();
            limits.stopFd = cancelPipe_[0];
            result = ahead_.run(commandLine, environment(), limits);
        }
        std::lock_guard<std::mutex> lock(m);
        done = true;
        cv.notify_one();
    });
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m);
            if (cv.wait_for(lock, kSlice, [&] { return done; }))
                break;
        }
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    worker.join();
    running_ = false;
    return result;
}

}  // namespace mervik

#include "console/console_view.h"

#include <QCoreApplication>

namespace mervik {

namespace {
constexpr int kTickMs = 2000;
// Back to the line's start and clear it.
constexpr const char* kClearLine = "\r\033[K";
}  // namespace

ConsoleView::ConsoleView(std::FILE* out, bool statusInPlace)
    : out_(out), statusInPlace_(statusInPlace) {
    Timer1.setInterval(kTickMs);
}

ConsoleView::~ConsoleView() {
    finishStatusLine();
}

void ConsoleView::setStatus(const std::string& text) {
    if (!statusInPlace_)
        return;
    std::fputs(kClearLine, out_);
    std::fputs(text.c_str(), out_);
    std::fflush(out_);
    statusShown_ = true;
}

void ConsoleView::addLogLine(const std::string& line) {
    if (statusShown_) {
        std::fputs(kClearLine, out_);
        statusShown_ = false;
    }
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
    ++lines_;
}

void ConsoleView::processPendingMessages() {
    QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
}

void ConsoleView::setTimerEnabled(bool enabled) {
    if (enabled)
        Timer1.start();
    else
        Timer1.stop();
}

void ConsoleView::finishStatusLine() {
    if (statusShown_) {
        std::fputc('\n', out_);
        std::fflush(out_);
        statusShown_ = false;
    }
}

std::string warningForConsole(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c == '\r')
            c = '\n';
    return out;
}

}  // namespace mervik

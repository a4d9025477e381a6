#pragma once

#include <QTimer>

#include <cstdio>
#include <string>

#include "automation/run_view.h"

namespace mervik {

// The run log on standard output, one flushed line each; the status line in
// place when standard output is a terminal, otherwise not at all.
class ConsoleView : public RunView {
  public:
    ConsoleView(std::FILE* out, bool statusInPlace);
    ~ConsoleView() override;

    void setStatus(const std::string& text) override;
    void addLogLine(const std::string& line) override;
    int logLineCount() const override { return lines_; }
    void clearLog() override { lines_ = 0; }
    void processPendingMessages() override;
    void setControlsEnabled(bool) override {}
    void setTimerEnabled(bool enabled) override;
    bool isTimerEnabled() const override { return Timer1.isActive(); }

    // Its timeouts are the standby ticks.
    QTimer Timer1;
    // Ends a status line shown in place, before the program prints anything else.
    void finishStatusLine();

  private:
    std::FILE* out_;
    bool statusInPlace_;
    bool statusShown_ = false;
    int lines_ = 0;
};

// Warnings on standard error: each CR of a three-line warning becomes a line break.
std::string warningForConsole(const std::string& text);

}  // namespace mervik

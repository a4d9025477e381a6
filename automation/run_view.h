#pragma once

#include <string>

namespace mervik {

// What the automation core needs of whatever shows it: the main window with
// widgets, the console front end with standard output, tests with a recorder.
// Warnings do not come through here but through ShowWarning's hook, which the
// settings unit uses as well.
class RunView {
  public:
    virtual ~RunView() = default;

    // Label1, the status line.
    virtual void setStatus(const std::string& text) = 0;
    // ListBox1, the run log.
    virtual void addLogLine(const std::string& line) = 0;
    virtual int logLineCount() const = 0;
    virtual void clearLog() = 0;
    // Must not wait for new events.
    virtual void processPendingMessages() = 0;
    // "Set", "Standby output" and the output-type choice, together.
    virtual void setControlsEnabled(bool enabled) = 0;
    // Timer1, 2000 ms; enabling starts a fresh interval.
    virtual void setTimerEnabled(bool enabled) = 0;
    virtual bool isTimerEnabled() const = 0;
    // Shows the selected output type (the main window's radio group).
    virtual void showOutputType(int /*outTyp*/) {}
    virtual void minimizeApplication() {}
};

}  // namespace mervik

// Runs a sibling program for the main window: the window stays painted while
// the program runs, but takes no input, so that no click can start anything
// in the middle of a step.
#pragma once

#include <QObject>

#include <functional>
#include <string>
#include <string_view>

#include "automation/sibling_runner.h"

namespace mervik {

class WindowRunner : public SiblingRunner {
  public:
    using Spawn = std::function<bool(std::string_view)>;
    // spawn: starts a command line and waits for its end (the platform's
    // spawnAndWait unless a test gives its own).
    explicit WindowRunner(Spawn spawn = {});
    ~WindowRunner() override;
    WindowRunner(const WindowRunner&) = delete;
    WindowRunner& operator=(const WindowRunner&) = delete;

    void run(const std::string& commandLine) override;
    SpawnResult runStep(const std::string& commandLine) override;
    bool running() const { return running_; }
    // The window is closing: the running step's programs are ended and no
    // further step starts.
    void cancel();
    bool cancelled() const override { return cancelled_; }
    // Only the platform's own spawning starts programs ahead.
    void startAhead(const std::string& commandLine) override;
    void dropAhead() override { ahead_.drop(); }

  private:
    Spawn spawn_;
    AheadStep ahead_;
    bool running_ = false;
    bool cancelled_ = false;
    int cancelPipe_[2] = {-1, -1};
};

// Drops user input (mouse, keys, wheel, touch, shortcuts) to every widget of
// the application while installed. Paints and timers pass.
class InputBlocker : public QObject {
  public:
    InputBlocker();
    ~InputBlocker() override;
    InputBlocker(const InputBlocker&) = delete;
    InputBlocker& operator=(const InputBlocker&) = delete;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace mervik

// Whether the window program can expect a display before the toolkit tries
// one: without it the toolkit aborts with a message about its plug-ins.
#pragma once

#include <functional>
#include <string>

namespace mervik {

// The platform the toolkit will use: "-platform NAME" among the arguments,
// else QT_QPA_PLATFORM, else empty (the toolkit's default).
std::string chosenPlatform(int argc, char** argv,
                           const std::function<const char*(const char*)>& getenv);

// An empty text when the platform can work; otherwise one line that names
// the problem. Only the platforms that need a display server are judged.
std::string missingDisplay(const std::string& platform,
                           const std::function<const char*(const char*)>& getenv);

// Until it is dropped, turns the toolkit's fatal start-up message (a display
// named but not reachable, say) into one line on standard error and exit
// status 2, and keeps its warnings from that stage to that line.
class StartupFailureGuard {
  public:
    StartupFailureGuard();
    ~StartupFailureGuard();
    StartupFailureGuard(const StartupFailureGuard&) = delete;
    StartupFailureGuard& operator=(const StartupFailureGuard&) = delete;
};

constexpr int kExitNoDisplay = 2;

}  // namespace mervik

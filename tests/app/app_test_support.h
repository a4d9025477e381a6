// A user's machine in a temporary folder for the window's tests, and helpers
// for modal boxes and events.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "automation/mervik_core.h"
#include "tests/console/e2e/harness.h"

namespace apptest {

// The end-to-end tests' machine, used from inside the test process: the
// fake siblings that the window starts find the sandbox through this
// process's environment.
struct Machine : e2e::Sandbox {
    Machine();

    std::string init;  // an Init folder, empty

    // The parameter file's lines with a waiting time and output type of the test's.
    std::vector<std::string> parLines(const std::string& pattern = "*.hgl", int waitSeconds = 6,
                                      int outTyp = 0) const;
    mervik::CoreEnvironment coreEnv() const;
};

// Runs action on the first modal widget that opens within the next event-loop
// turns (a warning box, a dialog), so that a test can look at it and close it.
void onNextModal(std::function<void(QWidget*)> action);

}  // namespace apptest

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

namespace apptest {

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
std::string crlf(const std::vector<std::string>& lines);

struct Machine {
    Machine();
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    std::string root, xdg, data, init, in1, in2, out, bin, tolvane, sandrel;
    std::string tolvanePar, sandrelPar;

    // The 16 lines of a parameter file naming this machine's folders, with
    // the fake sibling as both programs.
    std::vector<std::string> parLines(const std::string& pattern = "*.hgl", int waitSeconds = 6,
                                      int outTyp = 0) const;
    void writePar(const std::vector<std::string>& lines) const;
    mervik::CoreEnvironment env() const;
};

// Runs action on the first modal widget that opens within the next event-loop
// turns (a warning box, a dialog), so that a test can look at it and close it.
void onNextModal(std::function<void(QWidget*)> action);

}  // namespace apptest

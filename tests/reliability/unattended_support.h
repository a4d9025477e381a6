// What the tests of unattended running share: waiting for a condition,
// environments with one more entry, and whether a process is gone.
#pragma once

#include <signal.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/console/e2e/harness.h"

namespace unattended {

inline bool waitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// env with entry in place of any entry of the same name.
inline std::vector<std::string> with(std::vector<std::string> env, const std::string& entry) {
    const std::string name = entry.substr(0, entry.find('=') + 1);
    std::erase_if(env, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
    env.push_back(entry);
    return env;
}

inline int countOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + what.size())) {
        ++n;
    }
    return n;
}

// Ended: no such process, or one that is only waiting to be reaped by
// whatever adopted it.
inline bool processGone(int pid) {
    if (pid <= 0 || ::kill(pid, 0) != 0) {
        return true;
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const auto close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

// The pid the fake sibling's "hang" mode left in its group, or 0.
inline int hangingChild(const e2e::Sandbox& s) {
    const auto text = e2e::readText(s.root + "/hang.pid");
    return text ? std::atoi(text->c_str()) : 0;
}

// A stop during the first split: no step after the splits was started, and
// the split that ran beside it (when it had begun) is ended too.
inline void expectOnlySplitsAndAllEnded(const e2e::Sandbox& s) {
    const auto calls = s.calls();
    EXPECT_GE(calls.size(), 1u);
    EXPECT_LE(calls.size(), 2u);
    for (const auto& c : calls) {
        EXPECT_EQ(c.role, "split");
        EXPECT_TRUE(waitFor([&] { return processGone(c.pid); }, std::chrono::seconds(10)))
            << "split " << c.pid << " still runs";
    }
}

// The siblings' own parameter files are theirs again, and no back-up is left.
inline void expectHandedBack(const e2e::Sandbox& s) {
    EXPECT_EQ(e2e::readText(s.tolvanePar), e2e::crlf(e2e::Sandbox::userTolvaneLines()));
    EXPECT_EQ(e2e::readText(s.sandrelPar), e2e::Sandbox::userSandrelText());
    EXPECT_FALSE(e2e::exists(s.data + "/Tolvane.par"));
    EXPECT_FALSE(e2e::exists(s.data + "/Sandrel.par"));
}

// The error log's entries that end in message under name.
inline int entriesLike(const e2e::Sandbox& s, const std::string& name, const std::string& message) {
    int n = 0;
    for (const auto& e : s.errorEntries()) {
        n += e2e::entryIs(e, name, message) ? 1 : 0;
    }
    return n;
}

}  // namespace unattended

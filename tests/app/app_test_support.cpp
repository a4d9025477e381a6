#include "tests/app/app_test_support.h"

#include <cstdlib>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace apptest {

Machine::Machine() {
    init = root + "/prog/Init";
    fs::create_directories(init);
    for (const std::string& entry : env()) {
        const std::size_t eq = entry.find('=');
        const std::string name = entry.substr(0, eq);
        if (name == "HOME" || name.rfind("XDG_", 0) == 0 || name.rfind("FAKE_SIBLING_", 0) == 0)
            setenv(name.c_str(), entry.c_str() + eq + 1, 1);
    }
}

std::vector<std::string> Machine::parLines(const std::string& pattern, int waitSeconds,
                                           int outTyp) const {
    std::vector<std::string> lines = Sandbox::parLines(pattern);
    lines[12] = std::to_string(waitSeconds);
    lines[15] = std::to_string(outTyp);
    return lines;
}

mervik::CoreEnvironment Machine::coreEnv() const {
    mervik::CoreEnvironment e;
    e.localAppData = xdg;
    e.initFolder = init;
    e.timestamp = [] { return std::string("2026/01/02 03:04:05"); };
    return e;
}

void onNextModal(std::function<void(QWidget*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr)
            return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
}

}  // namespace apptest

#include "app_test_support.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace apptest {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::string crlf(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines)
        text += l + "\r\n";
    return text;
}

Machine::Machine() {
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl =
        std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/mervik-app-XXXXXX";
    if (mkdtemp(tmpl.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp";
        return;
    }
    root = tmpl;
    xdg = root + "/share";
    data = xdg + "/Corvanta/Mervik";
    init = root + "/prog/Init";
    in1 = root + "/in1";
    in2 = root + "/in2";
    out = root + "/out";
    bin = root + "/bin";
    tolvane = bin + "/tolvane";
    sandrel = bin + "/sandrel";
    tolvanePar = xdg + "/Corvanta/Tolvane/Tolvane.par";
    sandrelPar = xdg + "/Corvanta/Sandrel/Sandrel.par";
    for (const std::string& f : {data, init, in1, in2, out, bin})
        fs::create_directories(f);
    fs::create_symlink(FAKE_SIBLING_PATH, tolvane);
    fs::create_symlink(FAKE_SIBLING_PATH, sandrel);
    writeFile(tolvanePar, crlf({"TolvanePar 3.0", "width=420", "height=297", "color=1", "pens=8",
                                "units=mm", "scale=100", "7", "5", "3", "last=plan", "end"}));
    writeFile(sandrelPar, "SandrelPar\r\nthreshold=3\r\n");
    // The fake siblings find their parameter files and log through these.
    setenv("XDG_DATA_HOME", xdg.c_str(), 1);
    setenv("FAKE_SIBLING_LOG", (root + "/fake.log").c_str(), 1);
    setenv("FAKE_SIBLING_CONTROL", (root + "/control.txt").c_str(), 1);
}

Machine::~Machine() {
    std::error_code ec;
    if (!root.empty())
        fs::remove_all(root, ec);
}

std::vector<std::string> Machine::parLines(const std::string& pattern, int waitSeconds,
                                           int outTyp) const {
    return {"Version 11.00",
            "hgl",
            "tif",
            "pdf",
            "emf",
            "dxf",
            "dwg",
            "igs",
            "gbr",
            sandrel,
            tolvane,
            out + "/",
            std::to_string(waitSeconds),
            in1 + "/" + pattern,
            in2 + "/",
            std::to_string(outTyp)};
}

void Machine::writePar(const std::vector<std::string>& lines) const {
    writeFile(data + "/Mervik.par", crlf(lines));
}

mervik::CoreEnvironment Machine::env() const {
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

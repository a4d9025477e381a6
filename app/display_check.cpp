#include "app/display_check.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace mervik {

namespace {

bool isSet(const char* value) {
    return value != nullptr && *value != '\0';
}

// The platform name without its options ("xcb:foo=bar").
std::string baseName(const std::string& platform) {
    return platform.substr(0, platform.find(':'));
}

QtMessageHandler previousHandler = nullptr;
// Held back until the start has succeeded; then they go out as usual.
std::vector<std::pair<QtMsgType, QString>> heldBack;

void startupMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtFatalMsg) {
        heldBack.emplace_back(type, text);
        return;
    }
    // The first warning says what failed (which display); the later ones
    // and the fatal text only speak of plug-ins.
    std::string line =
        heldBack.empty() ? text.toStdString() : heldBack.front().second.toStdString();
    if (const std::size_t end = line.find('\n'); end != std::string::npos)
        line.erase(end);
    std::fprintf(stderr, "mervik: cannot open a window: %s\n", line.c_str());
    std::fflush(stderr);
    std::_Exit(kExitNoDisplay);
}

}  // namespace

std::string chosenPlatform(int argc, char** argv,
                           const std::function<const char*(const char*)>& getenv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 && i + 1 < argc)
            return argv[i + 1];
    }
    const char* fromEnv = getenv("QT_QPA_PLATFORM");
    return isSet(fromEnv) ? std::string(fromEnv) : std::string();
}

std::string missingDisplay(const std::string& platform,
                           const std::function<const char*(const char*)>& getenv) {
    const bool x11 = isSet(getenv("DISPLAY"));
    const bool wayland = isSet(getenv("WAYLAND_DISPLAY"));
    // A list ("wayland;xcb") is tried in order: any display will do.
    const std::string name = baseName(platform);
    if (name == "xcb" && !x11)
        return "mervik: no X display: DISPLAY is not set (QT_QPA_PLATFORM=xcb)";
    if (name.rfind("wayland", 0) == 0 && name.find(';') == std::string::npos && !wayland)
        return "mervik: no Wayland display: WAYLAND_DISPLAY is not set (QT_QPA_PLATFORM=" +
               platform + ")";
    if (name.empty() && !x11 && !wayland)
        return "mervik: no display: neither DISPLAY nor WAYLAND_DISPLAY is set "
               "(QT_QPA_PLATFORM=offscreen runs without one)";
    return {};
}

StartupFailureGuard::StartupFailureGuard() {
    heldBack.clear();
    previousHandler = qInstallMessageHandler(startupMessage);
}

StartupFailureGuard::~StartupFailureGuard() {
    qInstallMessageHandler(previousHandler);
    for (const auto& [type, text] : heldBack) {
        if (previousHandler != nullptr)
            previousHandler(type, QMessageLogContext(), text);
        else
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
    heldBack.clear();
}

}  // namespace mervik

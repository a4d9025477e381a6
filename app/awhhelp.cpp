#include "app/awhhelp.h"

#include <QApplication>
#include <QMessageBox>
#include <QVariant>
#include <QWidget>

#include "app/help_viewer.h"
#include "platform/path_style.h"

namespace mervik {

namespace {
std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The extension with its dot, taken after the last separator.
std::string extensionOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return path.substr(dot);
}

void showErrorBox(const std::string& caption, const std::string& text) {
    QMessageBox::critical(nullptr, QString::fromLocal8Bit(caption), QString::fromLocal8Bit(text));
}
}  // namespace

THTMLHelp::THTMLHelp(ApplicationHelp& app, QObject* parent, HtmlHelpApi* api)
    : QObject(parent), app_(app), api_(api), errorBox_(showErrorBox) {}

THTMLHelp::~THTMLHelp() {
    // The application may outlive its forms; no request may reach a handler that is gone.
    if (installed_)
        app_.setHandler({});
}

void THTMLHelp::Loaded() {
    if (!autoInstall_)
        return;
    app_.setHandler([this](std::uint16_t command, std::int32_t data, bool& callHelp) {
        return HelpHandler(command, data, callHelp);
    });
    installed_ = true;
}

HtmlHelpApi& THTMLHelp::api() {
    if (api_ == nullptr) {
        ownApi_ = std::make_unique<HelpViewerApi>();
        api_ = ownApi_.get();
    }
    return *api_;
}

std::string THTMLHelp::helpFilePath() const {
    // A form may name a help file of its own in its "HelpFile" property.
    std::string name = app_.HelpFile;
    if (QWidget* active = QApplication::activeWindow()) {
        const QString own = active->property("HelpFile").toString();
        if (!own.isEmpty())
            name = own.toLocal8Bit().toStdString();
    }
    std::string path = app_.ExeFolder + name;
    if (path.empty()) {
        path = app_.ExeName;
        const std::string ext = extensionOf(path);
        path = path.substr(0, path.size() - ext.size()) + ".chm";
    }
    return path;
}

bool THTMLHelp::HelpHandler(std::uint16_t command, std::int32_t data, bool& callHelp) {
    if (command == HELP_QUIT)
        return false;
    if (cookie_ == -1)
        api().HtmlHelp(nullptr, {}, HH_INITIALIZE, reinterpret_cast<std::intptr_t>(&cookie_));
    // No owner: the viewer belongs to no window of ours and outlives closing them.
    QWidget* const owner = nullptr;
    const std::string file = helpFilePath();
    if (lowerAscii(extensionOf(file)) != ".chm")
        return false;
    callHelp = false;

    QWidget* result = nullptr;
    bool called = false;
    switch (command) {
        case HELP_CONTEXT:
            result = api().HtmlHelp(owner, file, HH_HELP_CONTEXT, data);
            called = true;
            break;
        case HELP_INDEX:
        case HELP_FINDER:
            result = api().HtmlHelp(owner, file, HH_DISPLAY_TOPIC, 0);
            called = true;
            break;
        case HELP_CONTEXTPOPUP: {
            result = api().HtmlHelp(owner, file, HH_HELP_CONTEXT, data);
            if (result == nullptr) {
                HH_POPUP popup;
                popup.idString = static_cast<unsigned>(data);
                popup.ptX = popupX_;
                popup.ptY = popupY_;
                api().HtmlHelp(QApplication::activeWindow(), file + "::/cshelp.txt",
                               HH_DISPLAY_TEXT_POPUP, reinterpret_cast<std::intptr_t>(&popup));
                return false;
            }
            called = true;
            break;
        }
        case HELP_SETPOPUP_POS: {
            const auto bits = static_cast<std::uint32_t>(data);
            popupX_ = static_cast<int>(bits & 0xFFFFu);
            popupY_ = static_cast<int>(bits >> 16);
            break;
        }
        default:
            break;
    }
    if (called && result == nullptr) {
        HH_LAST_ERROR last;
        api().HtmlHelp(owner, {}, HH_GET_LAST_ERROR, reinterpret_cast<std::intptr_t>(&last));
        if (last.hr < 0 && !last.description.empty())
            errorBox_(app_.Title, last.description);
    }
    return false;
}

}  // namespace mervik

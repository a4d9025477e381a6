// The help component: turns the application's help requests (a WinHelp
// command and one data value) into calls of the help viewer for the
// compiled help file.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

#include "app/app_help.h"
#include "app/html_help.h"

namespace mervik {

class THTMLHelp : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool AutoInstall READ AutoInstall WRITE setAutoInstall)

  public:
    // api: the help viewer; null for the program's own (created on first use).
    THTMLHelp(ApplicationHelp& app, QObject* parent = nullptr, HtmlHelpApi* api = nullptr);
    ~THTMLHelp() override;

    bool AutoInstall() const { return autoInstall_; }
    void setAutoInstall(bool value) { autoInstall_ = value; }

    // After the form's stored properties have been read: becomes the
    // application's help handler when AutoInstall is set.
    void Loaded();

    // The request handler. Always false; callHelp is cleared when the request
    // was for a ".chm" file and so is taken here.
    bool HelpHandler(std::uint16_t command, std::int32_t data, bool& callHelp);

    std::int32_t cookie() const { return cookie_; }
    int popupX() const { return popupX_; }
    int popupY() const { return popupY_; }

    // The error box; replaceable for tests.
    using ErrorBox = std::function<void(const std::string& caption, const std::string& text)>;
    void setErrorBox(ErrorBox box) { errorBox_ = std::move(box); }

    // The help file a request goes to (see HelpHandler).
    std::string helpFilePath() const;

  private:
    HtmlHelpApi& api();

    ApplicationHelp& app_;
    HtmlHelpApi* api_;
    std::unique_ptr<HtmlHelpApi> ownApi_;
    bool autoInstall_ = true;
    bool installed_ = false;
    std::int32_t cookie_ = -1;
    int popupX_ = 0;
    int popupY_ = 0;
    ErrorBox errorBox_;
};

}  // namespace mervik

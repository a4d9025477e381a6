// The program's help viewer: shows the topics of a compiled help file, with
// its contents, back and forward, links between topics and their images.
#pragma once

#include <QTextBrowser>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/chm_file.h"
#include "app/html_help.h"

QT_BEGIN_NAMESPACE
class QLabel;
class QTreeWidgetItem;
namespace Ui {
class HelpViewerWindow;
}
QT_END_NAMESPACE

namespace mervik {

// A text browser whose documents and images come from a help file; topics
// are addressed as "chm:/path".
class ChmBrowser : public QTextBrowser {
    Q_OBJECT

  public:
    explicit ChmBrowser(QWidget* parent = nullptr);
    void setFile(const ChmFile* file) { file_ = file; }
    QVariant loadResource(int type, const QUrl& name) override;

    // Links outside the file go to the desktop; tests put a recorder here.
    std::function<void(const QUrl&)> openExternal;

  private:
    void followLink(const QUrl& link);
    const ChmFile* file_ = nullptr;
};

class HelpViewerWindow : public QWidget {
    Q_OBJECT

  public:
    explicit HelpViewerWindow(std::unique_ptr<ChmFile> file, QWidget* parent = nullptr);
    ~HelpViewerWindow() override;

    const ChmFile& file() const { return *file_; }
    // Shows a topic by its object path; false when the file lacks it.
    bool showTopic(const std::string& objectPath);
    // The object path of the topic shown.
    std::string currentTopic() const;
    ChmBrowser& browser();
    const Ui::HelpViewerWindow& ui() const { return *ui_; }

  private:
    void fillContents();
    void selectInContents(const std::string& objectPath);

    std::unique_ptr<Ui::HelpViewerWindow> ui_;
    std::unique_ptr<ChmFile> file_;
};

// The help viewer behind the help component: one window per help file.
class HelpViewerApi : public HtmlHelpApi {
  public:
    HelpViewerApi();
    ~HelpViewerApi() override;
    QWidget* HtmlHelp(QWidget* owner, const std::string& file, unsigned command,
                      std::intptr_t data) override;

    HelpViewerWindow* viewerFor(const std::string& path) const;
    QLabel* popup() const { return popup_.get(); }

  private:
    HelpViewerWindow* openViewer(const std::string& path);
    QWidget* showPopup(const std::string& file, const HH_POPUP& record);
    void fail(std::int32_t hr, std::string description);

    std::map<std::string, std::unique_ptr<HelpViewerWindow>> viewers_;
    std::unique_ptr<QLabel> popup_;
    std::int32_t lastHr_ = kHrOk;
    std::string lastDescription_;
};

}  // namespace mervik

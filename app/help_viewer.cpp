#include "app/help_viewer.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QTreeWidgetItem>
#include <QUrl>
#include <QWindow>

#include <vector>

#include "app/form_setup.h"
#include "dialogs/dialog_support.h"
#include "ui_HelpViewer.h"

namespace mervik {

namespace {
const QString kScheme = QStringLiteral("chm");

QUrl topicUrl(const std::string& objectPath) {
    QUrl url;
    url.setScheme(kScheme);
    url.setPath(QString::fromUtf8(objectPath.c_str()));
    return url;
}

constexpr int kPathRole = Qt::UserRole;
}  // namespace

// ---------------------------------------------------------------- browser

ChmBrowser::ChmBrowser(QWidget* parent) : QTextBrowser(parent) {
    // Links are followed here: a topic of the file by the browser, anything
    // else by the desktop.
    setOpenLinks(false);
    openExternal = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    connect(this, &QTextBrowser::anchorClicked, this, &ChmBrowser::followLink);
}

void ChmBrowser::followLink(const QUrl& link) {
    const QUrl url = source().resolved(link);
    if (url.scheme() == kScheme)
        setSource(url);
    else if (openExternal)
        openExternal(url);
}

QVariant ChmBrowser::loadResource(int type, const QUrl& name) {
    if (file_ == nullptr || name.scheme() != kScheme)
        return QTextBrowser::loadResource(type, name);
    const std::optional<QByteArray> data = file_->read(name.path().toStdString());
    if (!data)
        return {};
    if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource)
        return QString::fromUtf8(*data);
    return *data;
}

// ---------------------------------------------------------------- window

HelpViewerWindow::HelpViewerWindow(std::unique_ptr<ChmFile> file, QWidget* parent)
    : QWidget(parent, Qt::Window),
      ui_(std::make_unique<Ui::HelpViewerWindow>()),
      file_(std::move(file)) {
    ui_->setupUi(this);
    mervik::pressFocusedButtonOnReturn(this);
    if (!file_->title().empty())
        setWindowTitle(QString::fromUtf8(file_->title().c_str()));
    ui_->Splitter->setSizes({220, 680});
    ChmBrowser* b = ui_->TopicBrowser;
    b->setFile(file_.get());
    connect(ui_->BackButton, &QPushButton::clicked, b, &QTextBrowser::backward);
    connect(ui_->ForwardButton, &QPushButton::clicked, b, &QTextBrowser::forward);
    connect(ui_->HomeButton, &QPushButton::clicked, this,
            [this] { showTopic(file_->defaultTopic()); });
    connect(b, &QTextBrowser::backwardAvailable, ui_->BackButton, &QPushButton::setEnabled);
    connect(b, &QTextBrowser::forwardAvailable, ui_->ForwardButton, &QPushButton::setEnabled);
    connect(b, &QTextBrowser::sourceChanged, this,
            [this](const QUrl& url) { selectInContents(url.path().toStdString()); });
    connect(ui_->ContentsTree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        showTopic(item->data(0, kPathRole).toString().toStdString());
    });
    connect(ui_->ContentsTree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        showTopic(item->data(0, kPathRole).toString().toStdString());
    });
    fillContents();
}

HelpViewerWindow::~HelpViewerWindow() = default;

ChmBrowser& HelpViewerWindow::browser() {
    return *ui_->TopicBrowser;
}

void HelpViewerWindow::fillContents() {
    std::vector<QTreeWidgetItem*> parents;
    for (const ChmFile::ContentsEntry& e : file_->contents()) {
        const std::size_t level = static_cast<std::size_t>(e.level);
        parents.resize(std::min(parents.size(), level));
        QTreeWidgetItem* item = parents.empty() ? new QTreeWidgetItem(ui_->ContentsTree)
                                                : new QTreeWidgetItem(parents.back());
        item->setText(0, QString::fromUtf8(e.name.c_str()));
        item->setData(0, kPathRole, QString::fromUtf8(e.local.c_str()));
        parents.push_back(item);
    }
    ui_->ContentsTree->expandAll();
}

void HelpViewerWindow::selectInContents(const std::string& objectPath) {
    const QString path = QString::fromUtf8(objectPath.c_str());
    for (QTreeWidgetItemIterator it(ui_->ContentsTree); *it != nullptr; ++it)
        if ((*it)->data(0, kPathRole).toString() == path) {
            ui_->ContentsTree->setCurrentItem(*it);
            return;
        }
}

bool HelpViewerWindow::showTopic(const std::string& objectPath) {
    if (objectPath.empty() || !file_->contains(objectPath))
        return false;
    ui_->TopicBrowser->setSource(topicUrl(objectPath));
    return true;
}

std::string HelpViewerWindow::currentTopic() const {
    return ui_->TopicBrowser->source().path().toStdString();
}

// ---------------------------------------------------------------- viewer API

HelpViewerApi::HelpViewerApi() = default;
HelpViewerApi::~HelpViewerApi() = default;

void HelpViewerApi::fail(std::int32_t hr, std::string description) {
    lastHr_ = hr;
    lastDescription_ = std::move(description);
}

HelpViewerWindow* HelpViewerApi::viewerFor(const std::string& path) const {
    const auto it = viewers_.find(path);
    return it == viewers_.end() ? nullptr : it->second.get();
}

HelpViewerWindow* HelpViewerApi::openViewer(const std::string& path) {
    if (HelpViewerWindow* open = viewerFor(path))
        return open;
    std::unique_ptr<ChmFile> file = ChmFile::open(path);
    if (!file) {
        const bool exists = QFileInfo::exists(QString::fromLocal8Bit(path.c_str()));
        fail(exists ? kHrFail : kHrFileNotFound,
             (exists ? "The help file is not a compiled help file: "
                     : "The help file cannot be found: ") +
                 path);
        return nullptr;
    }
    auto window = std::make_unique<HelpViewerWindow>(std::move(file));
    HelpViewerWindow* w = window.get();
    viewers_[path] = std::move(window);
    return w;
}

namespace {
// A modal dialog blocks every window but its own descendants, and the
// viewer, asked for from that dialog's "Help", would take no input and could
// not be closed. Made transient for the dialog it counts as one of them while
// staying a window of its own (the dialog does not own it, and hiding the
// dialog leaves it open).
void keepUsableBesideModal(QWidget* viewer) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == viewer)
        return;
    viewer->winId();  // the native window, to set its transient parent
    QWindow* window = viewer->windowHandle();
    if (window == nullptr)
        return;
    QWindow* over = nullptr;
    if (modal != nullptr) {
        modal->winId();
        over = modal->windowHandle();
    }
    window->setTransientParent(over);
}
}  // namespace

QWidget* HelpViewerApi::HtmlHelp(QWidget* owner, const std::string& file, unsigned command,
                                 std::intptr_t data) {
    (void)owner;  // the viewer is a window of its own, whoever asks
    switch (command) {
        case HH_INITIALIZE:
            if (data != 0)
                *reinterpret_cast<std::int32_t*>(data) = 1;
            return nullptr;
        case HH_GET_LAST_ERROR: {
            auto* record = reinterpret_cast<HH_LAST_ERROR*>(data);
            if (record != nullptr) {
                record->hr = lastHr_;
                record->description = lastDescription_;
            }
            return nullptr;
        }
        case HH_DISPLAY_TOPIC:
        case HH_HELP_CONTEXT: {
            lastHr_ = kHrOk;
            lastDescription_.clear();
            HelpViewerWindow* viewer = openViewer(file);
            if (viewer == nullptr)
                return nullptr;
            std::string topic;
            if (command == HH_HELP_CONTEXT) {
                const auto mapped =
                    viewer->file().topicForContext(static_cast<std::uint32_t>(data));
                if (!mapped) {
                    fail(kHrInvalidArg, "The help file " + file +
                                            " has no topic for the context number " +
                                            std::to_string(data) + ".");
                    return nullptr;
                }
                topic = *mapped;
            } else {
                // A topic named in data is not used by this program; 0 is the default.
                topic = viewer->file().defaultTopic();
            }
            if (!viewer->showTopic(topic)) {
                fail(kHrFail, "The help file " + file + " has no topic " +
                                  (topic.empty() ? std::string("to show first") : topic) + ".");
                return nullptr;
            }
            keepUsableBesideModal(viewer);
            if (!viewer->isVisible()) {
                viewer->show();
                centreOnScreen(viewer);
            }
            viewer->showNormal();
            viewer->raise();
            viewer->activateWindow();
            return viewer;
        }
        case HH_DISPLAY_TEXT_POPUP: {
            const auto* record = reinterpret_cast<const HH_POPUP*>(data);
            return record == nullptr ? nullptr : showPopup(file, *record);
        }
        default:
            return nullptr;
    }
}

QWidget* HelpViewerApi::showPopup(const std::string& file, const HH_POPUP& record) {
    std::string text;
    if (record.pszText != nullptr) {
        text = record.pszText;
    } else {
        // "help.chm::/cshelp.txt": the popup file inside the help file.
        const std::size_t sep = file.find("::");
        if (sep == std::string::npos)
            return nullptr;
        std::unique_ptr<ChmFile> chm = ChmFile::open(file.substr(0, sep));
        if (!chm)
            return nullptr;
        const std::optional<QByteArray> popupFile =
            chm->read(ChmFile::objectPath(file.substr(sep + 2)));
        if (!popupFile)
            return nullptr;
        const auto entry = textPopupEntry(popupFile->toStdString(), record.idString);
        if (!entry)
            return nullptr;
        text = *entry;
    }
    if (!popup_) {
        popup_ = std::make_unique<QLabel>(nullptr, Qt::ToolTip);
        popup_->setWordWrap(true);
        popup_->setMargin(6);
        popup_->setMaximumWidth(420);
        popup_->setTextFormat(Qt::PlainText);
    }
    popup_->setText(QString::fromUtf8(text.c_str()));
    popup_->adjustSize();
    popup_->move(record.ptX, record.ptY);
    popup_->show();
    return popup_.get();
}

}  // namespace mervik

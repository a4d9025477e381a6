// The help component's dispatch, and the help viewer on the real Mervik.chm.
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

#include <filesystem>
#include <optional>

#include <gtest/gtest.h>

#include "app/awhhelp.h"
#include "app/chm_file.h"
#include "app/help_viewer.h"
#include "ui_HelpViewer.h"

using namespace mervik;

namespace {

struct Call {
    std::string file;
    unsigned command = 0;
    std::intptr_t data = 0;
    HH_POPUP popup;  // a copy, for HH_DISPLAY_TEXT_POPUP
};

// The viewer's interface as a recorder with set answers.
class RecordingApi : public HtmlHelpApi {
  public:
    QWidget* HtmlHelp(QWidget*, const std::string& file, unsigned command,
                      std::intptr_t data) override {
        Call c{file, command, data, {}};
        if (command == HH_INITIALIZE)
            *reinterpret_cast<std::int32_t*>(data) = 77;
        if (command == HH_DISPLAY_TEXT_POPUP)
            c.popup = *reinterpret_cast<const HH_POPUP*>(data);
        if (command == HH_GET_LAST_ERROR) {
            auto* e = reinterpret_cast<HH_LAST_ERROR*>(data);
            e->hr = hr;
            e->description = description;
        }
        calls.push_back(c);
        if (command == HH_DISPLAY_TOPIC || command == HH_HELP_CONTEXT)
            return opens ? &window : nullptr;
        return nullptr;
    }
    std::vector<unsigned> commands() const {
        std::vector<unsigned> v;
        for (const Call& c : calls)
            v.push_back(c.command);
        return v;
    }

    std::vector<Call> calls;
    bool opens = true;
    std::int32_t hr = kHrOk;
    std::string description;
    QWidget window;
};

class HelpTest : public ::testing::Test {
  protected:
    HelpTest() {
        app.HelpFile = "Mervik.chm";
        app.ExeFolder = "/opt/Corvanta/Mervik/";
        help.setErrorBox([this](const std::string& caption, const std::string& text) {
            boxes.push_back(caption + "|" + text);
        });
        help.Loaded();
    }
    bool request(std::uint16_t command, std::int32_t data) {
        bool callHelp = true;
        EXPECT_FALSE(help.HelpHandler(command, data, callHelp));
        return callHelp;
    }

    ApplicationHelp app;
    RecordingApi api;
    THTMLHelp help{app, nullptr, &api};
    std::vector<std::string> boxes;
    const std::string file = "/opt/Corvanta/Mervik/Mervik.chm";
};

}  // namespace

TEST_F(HelpTest, InstallsItselfAsTheApplicationsHandlerUnlessTold) {
    EXPECT_TRUE(app.hasHandler());
    EXPECT_TRUE(app.HelpCommand(HELP_FINDER, 0));
    ASSERT_EQ(api.commands(), (std::vector<unsigned>{HH_INITIALIZE, HH_DISPLAY_TOPIC}));

    ApplicationHelp other;
    THTMLHelp off(other, nullptr, &api);
    EXPECT_TRUE(off.AutoInstall());
    off.setAutoInstall(false);
    off.Loaded();
    EXPECT_FALSE(other.hasHandler());

    // A component that goes takes its handler with it.
    {
        THTMLHelp shortLived(other, nullptr, &api);
        shortLived.Loaded();
        EXPECT_TRUE(other.hasHandler());
    }
    EXPECT_FALSE(other.hasHandler());
    EXPECT_FALSE(other.HelpCommand(HELP_FINDER, 0));
}

TEST_F(HelpTest, QuitTouchesNothing) {
    EXPECT_TRUE(request(HELP_QUIT, 0));
    EXPECT_TRUE(api.calls.empty());
    EXPECT_EQ(help.cookie(), -1);
}

TEST_F(HelpTest, ContextOpensTheMappedTopicAfterOneInitialisation) {
    EXPECT_EQ(help.cookie(), -1);
    EXPECT_FALSE(request(HELP_CONTEXT, 401));
    EXPECT_FALSE(request(HELP_CONTEXT, 402));
    EXPECT_EQ(help.cookie(), 77);
    ASSERT_EQ(api.commands(),
              (std::vector<unsigned>{HH_INITIALIZE, HH_HELP_CONTEXT, HH_HELP_CONTEXT}));
    EXPECT_EQ(api.calls[1].file, file);
    EXPECT_EQ(api.calls[1].data, 401);
    EXPECT_EQ(api.calls[2].data, 402);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(HelpTest, IndexAndFinderOpenTheDefaultTopic) {
    EXPECT_FALSE(request(HELP_INDEX, 5));
    EXPECT_FALSE(request(HELP_FINDER, 9));
    ASSERT_EQ(api.commands(),
              (std::vector<unsigned>{HH_INITIALIZE, HH_DISPLAY_TOPIC, HH_DISPLAY_TOPIC}));
    EXPECT_EQ(api.calls[1].data, 0);
    EXPECT_EQ(api.calls[2].data, 0);
}

TEST_F(HelpTest, ContextPopupFallsBackToTheTextPopupAtTheStoredPosition) {
    EXPECT_FALSE(request(HELP_SETPOPUP_POS, static_cast<std::int32_t>(0xFFF00064u)));
    EXPECT_EQ(help.popupX(), 100);
    EXPECT_EQ(help.popupY(), 0xFFF0);
    EXPECT_EQ(api.commands(), (std::vector<unsigned>{HH_INITIALIZE}));

    api.opens = false;
    api.hr = kHrInvalidArg;
    api.description = "no topic";
    EXPECT_FALSE(request(HELP_CONTEXTPOPUP, 403));
    ASSERT_EQ(api.commands(),
              (std::vector<unsigned>{HH_INITIALIZE, HH_HELP_CONTEXT, HH_DISPLAY_TEXT_POPUP}));
    const Call& popup = api.calls[2];
    EXPECT_EQ(popup.file, file + "::/cshelp.txt");
    EXPECT_EQ(popup.popup.idString, 403u);
    EXPECT_EQ(popup.popup.ptX, 100);
    EXPECT_EQ(popup.popup.ptY, 0xFFF0);
    EXPECT_EQ(popup.popup.pszText, nullptr);
    EXPECT_EQ(popup.popup.clrForeground, -1);
    EXPECT_EQ(popup.popup.clrBackground, -1);
    for (int margin : popup.popup.rcMargins)
        EXPECT_EQ(margin, -1);
    // A failed popup reports nothing.
    EXPECT_TRUE(boxes.empty());

    // A context that opens its topic needs no popup.
    api.opens = true;
    api.calls.clear();
    request(HELP_CONTEXTPOPUP, 401);
    EXPECT_EQ(api.commands(), (std::vector<unsigned>{HH_HELP_CONTEXT}));
}

TEST_F(HelpTest, AFailedCallShowsTheViewersDescriptionCaptionedWithTheTitle) {
    api.opens = false;
    api.hr = kHrInvalidArg;
    api.description = "no topic for 401";
    request(HELP_CONTEXT, 401);
    EXPECT_EQ(api.commands().back(), HH_GET_LAST_ERROR);
    ASSERT_EQ(boxes, std::vector<std::string>{"Mervik|no topic for 401"});

    // No description, or no failure code: no box.
    boxes.clear();
    api.description.clear();
    request(HELP_FINDER, 0);
    api.description = "text";
    api.hr = kHrOk;
    request(HELP_FINDER, 0);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(HelpTest, OtherCommandsAreTakenButShowNothing) {
    EXPECT_FALSE(request(42, 1));
    EXPECT_EQ(api.commands(), (std::vector<unsigned>{HH_INITIALIZE}));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(HelpTest, AHelpFileThatIsNoChmIsLeftToTheApplication) {
    app.HelpFile = "Mervik.hlp";
    EXPECT_TRUE(request(HELP_FINDER, 0));
    EXPECT_EQ(api.commands(), (std::vector<unsigned>{HH_INITIALIZE}));
    app.HelpFile = "MERVIK.CHM";  // the extension is compared without case
    EXPECT_FALSE(request(HELP_FINDER, 0));
}

TEST_F(HelpTest, WithoutANameTheHelpFileIsNamedAfterTheExecutable) {
    app.HelpFile.clear();
    app.ExeFolder.clear();
    app.ExeName = "/opt/Corvanta/Mervik/mervik";
    EXPECT_EQ(help.helpFilePath(), "/opt/Corvanta/Mervik/mervik.chm");
    app.ExeName = "/opt/x.y/mervik.bin";
    EXPECT_EQ(help.helpFilePath(), "/opt/x.y/mervik.chm");
}

// ---------------------------------------------------------------- the real file

namespace {

const std::string kChm = MERVIK_CHM_PATH;

}  // namespace

TEST(ChmFile, ReadsTheBuiltHelpFile) {
    auto chm = ChmFile::open(kChm);
    ASSERT_NE(chm, nullptr);
    EXPECT_EQ(chm->title(), "Mervik Help");
    EXPECT_EQ(chm->defaultTopic(), "/overview.htm");
    ASSERT_EQ(chm->contents().size(), 10u);
    EXPECT_EQ(chm->contents()[0].name, "Overview");
    EXPECT_EQ(chm->contents()[0].level, 0);
    EXPECT_EQ(chm->contents()[3].name, "The settings dialog");
    EXPECT_EQ(chm->contents()[3].local, "/settings.htm");
    EXPECT_EQ(chm->contents()[3].level, 1);
    EXPECT_EQ(chm->topicForContext(401), std::optional<std::string>("/settings.htm"));
    EXPECT_EQ(chm->topicForContext(402), std::optional<std::string>("/standby.htm"));
    EXPECT_EQ(chm->topicForContext(999), std::nullopt);
    const auto image = chm->read("/images/main-window.png");
    ASSERT_TRUE(image.has_value());
    EXPECT_TRUE(image->startsWith("\x89PNG"));
    EXPECT_EQ(ChmFile::open(kChm + ".missing"), nullptr);
}

TEST(ChmFile, TextPopupEntries) {
    const std::string text =
        ".topic 1\nfirst\n.topic 401\nsecond line 1\r\nline 2\n\n.topic 5\nx\n";
    EXPECT_EQ(textPopupEntry(text, 401), std::optional<std::string>("second line 1\nline 2"));
    EXPECT_EQ(textPopupEntry(text, 5), std::optional<std::string>("x"));
    EXPECT_EQ(textPopupEntry(text, 40), std::nullopt);
}

TEST(HelpViewer, OpensTheRealFileAtContext401) {
    HelpViewerApi viewer;
    QWidget* w = viewer.HtmlHelp(nullptr, kChm, HH_HELP_CONTEXT, 401);
    ASSERT_NE(w, nullptr);
    auto* window = viewer.viewerFor(kChm);
    ASSERT_EQ(w, window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Mervik Help"));
    EXPECT_EQ(window->currentTopic(), "/settings.htm");
    EXPECT_TRUE(window->browser().toPlainText().contains(QStringLiteral("Comparison file 1")));
    const QTreeWidget* tree = window->ui().ContentsTree;
    ASSERT_NE(tree->currentItem(), nullptr);
    EXPECT_EQ(tree->currentItem()->text(0), QStringLiteral("The settings dialog"));
    EXPECT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 9);

    // The same window serves the next request.
    EXPECT_EQ(viewer.HtmlHelp(nullptr, kChm, HH_DISPLAY_TOPIC, 0), w);
    EXPECT_EQ(window->currentTopic(), "/overview.htm");
}

TEST(HelpViewer, FollowsLinksGoesBackAndForwardAndShowsImages) {
    HelpViewerApi viewer;
    ASSERT_NE(viewer.HtmlHelp(nullptr, kChm, HH_DISPLAY_TOPIC, 0), nullptr);
    HelpViewerWindow* window = viewer.viewerFor(kChm);
    ChmBrowser& browser = window->browser();
    EXPECT_FALSE(browser
                     .loadResource(QTextDocument::ImageResource,
                                   QUrl(QStringLiteral("chm:/images/main-window.png")))
                     .toByteArray()
                     .isEmpty());
    // The overview's picture resolves inside the file.
    EXPECT_TRUE(browser.document()
                    ->resource(QTextDocument::ImageResource,
                               QUrl(QStringLiteral("chm:/images/main-window.png")))
                    .isValid());

    emit browser.anchorClicked(QUrl(QStringLiteral("extensions.htm")));
    EXPECT_EQ(window->currentTopic(), "/extensions.htm");
    EXPECT_TRUE(window->ui().BackButton->isEnabled());
    QTest::mouseClick(window->ui().BackButton, Qt::LeftButton);
    EXPECT_EQ(window->currentTopic(), "/overview.htm");
    QTest::mouseClick(window->ui().ForwardButton, Qt::LeftButton);
    EXPECT_EQ(window->currentTopic(), "/extensions.htm");

    QUrl external;
    browser.openExternal = [&](const QUrl& u) { external = u; };
    emit browser.anchorClicked(QUrl(QStringLiteral("https://example.org/")));
    EXPECT_EQ(external, QUrl(QStringLiteral("https://example.org/")));
    EXPECT_EQ(window->currentTopic(), "/extensions.htm");
}

TEST(HelpViewer, OpenedFromAModalDialogItTakesInputAndClosesWhileTheDialogStays) {
    HelpViewerApi viewer;
    QDialog dialog;
    dialog.resize(300, 200);
    HelpViewerWindow* window = nullptr;
    bool dialogOpenAfterClose = false;
    QTimer::singleShot(0, &dialog, [&] {
        ASSERT_NE(viewer.HtmlHelp(&dialog, kChm, HH_HELP_CONTEXT, 401), nullptr);
        window = viewer.viewerFor(kChm);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        // A click reaches the viewer: "Home" goes to the first topic. Sent
        // to the window, as the window system does, it passes the modality
        // check that a widget's own event would skip.
        QPushButton* home = window->ui().HomeButton;
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                          home->mapTo(window, home->rect().center()));
        EXPECT_EQ(window->currentTopic(), "/overview.htm");
        window->close();
        EXPECT_FALSE(window->isVisible());
        dialogOpenAfterClose = dialog.isVisible();
        dialog.reject();
    });
    // Failures above must not leave the loop running.
    QTimer::singleShot(20000, &dialog, &QDialog::reject);
    dialog.exec();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(dialogOpenAfterClose);

    // Asked for again without a modal dialog, it is no longer tied to one.
    ASSERT_NE(viewer.HtmlHelp(nullptr, kChm, HH_DISPLAY_TOPIC, 0), nullptr);
    ASSERT_NE(window->windowHandle(), nullptr);
    EXPECT_EQ(window->windowHandle()->transientParent(), nullptr);
}

TEST(HelpViewer, UnknownContextOrMissingFileGivesTheErrorDescription) {
    HelpViewerApi viewer;
    EXPECT_EQ(viewer.HtmlHelp(nullptr, kChm, HH_HELP_CONTEXT, 999), nullptr);
    HH_LAST_ERROR last;
    viewer.HtmlHelp(nullptr, {}, HH_GET_LAST_ERROR, reinterpret_cast<std::intptr_t>(&last));
    EXPECT_LT(last.hr, 0);
    EXPECT_NE(last.description.find("999"), std::string::npos) << last.description;

    const std::string missing = kChm + ".gone.chm";
    EXPECT_EQ(viewer.HtmlHelp(nullptr, missing, HH_DISPLAY_TOPIC, 0), nullptr);
    viewer.HtmlHelp(nullptr, {}, HH_GET_LAST_ERROR, reinterpret_cast<std::intptr_t>(&last));
    EXPECT_EQ(last.hr, kHrFileNotFound);
    EXPECT_NE(last.description.find(missing), std::string::npos) << last.description;
}

TEST(HelpViewer, TextPopupComesFromCshelpInsideTheFile) {
    HelpViewerApi viewer;
    HH_POPUP record;
    record.idString = 402;
    record.ptX = 30;
    record.ptY = 40;
    QWidget* popup = viewer.HtmlHelp(nullptr, kChm + "::/cshelp.txt", HH_DISPLAY_TEXT_POPUP,
                                     reinterpret_cast<std::intptr_t>(&record));
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->pos(), QPoint(30, 40));
    EXPECT_TRUE(viewer.popup()->text().startsWith(QStringLiteral("Starts standby")));
    record.idString = 12345;
    EXPECT_EQ(viewer.HtmlHelp(nullptr, kChm + "::/cshelp.txt", HH_DISPLAY_TEXT_POPUP,
                              reinterpret_cast<std::intptr_t>(&record)),
              nullptr);
}

TEST(HelpViewer, TheComponentOverTheViewerReportsAMissingFile) {
    ApplicationHelp app;
    app.HelpFile = "Mervik.chm";
    app.ExeFolder = std::filesystem::path(kChm).parent_path().string() + "/nowhere/";
    THTMLHelp help(app);
    std::vector<std::string> boxes;
    help.setErrorBox(
        [&](const std::string& c, const std::string& t) { boxes.push_back(c + "|" + t); });
    help.Loaded();
    EXPECT_TRUE(app.HelpContext(401));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("Mervik|", 0), 0u) << boxes[0];

    // With the file where it belongs, the settings topic opens.
    app.ExeFolder = std::filesystem::path(kChm).parent_path().string() + "/";
    EXPECT_TRUE(app.HelpContext(401));
    EXPECT_EQ(boxes.size(), 1u);
}

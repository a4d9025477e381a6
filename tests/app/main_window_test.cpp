// The main window: its controls, the output-type choice, standby with its
// locks and countdown, a run's log, the command line, and the window's
// deafness while a sibling runs.
#include <QButtonGroup>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "app/TolvaneM.h"
#include "app/warning_box.h"
#include "app/window_runner.h"
#include "tests/app/app_test_support.h"
#include "ui_TolvaneM.h"

using apptest::Machine;

namespace {

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        mervik::setWarningHook([this](const std::string& text) { warnings.push_back(text); });
    }
    void TearDown() override {
        form.reset();
        mervik::setWarningHook({});
    }

    TMervikMForm& make(std::vector<std::string> args = {},
                       mervik::SiblingRunner* runner = nullptr) {
        form = std::make_unique<TMervikMForm>(settings, m.coreEnv(), std::move(args), help, runner);
        return *form;
    }
    // Creates, loads and applies the command line, as the first paint does.
    TMervikMForm& started(std::vector<std::string> args = {},
                          mervik::SiblingRunner* runner = nullptr) {
        make(std::move(args), runner);
        EXPECT_TRUE(form->FormPaint());
        return *form;
    }
    const Ui::TMervikMForm& ui() const { return form->ui(); }

    Machine m;
    mervik::TSettings settings;
    mervik::ApplicationHelp help;
    std::vector<std::string> warnings;
    std::unique_ptr<TMervikMForm> form;
};

QRect geometryOf(const QWidget* w) {
    return w->geometry();
}

}  // namespace

TEST_F(MainWindowTest, ControlsHaveTheirCaptionsPlacesAndFonts) {
    make();
    EXPECT_EQ(form->size(), QSize(850, 505));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());  // fixed border
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form->font().family(), QStringLiteral("Calibri"));
    EXPECT_EQ(form->font().pixelSize(), 16);

    struct Expected {
        const QWidget* w;
        QRect rect;
        QString caption;
    };
    const auto text = [](const QWidget* w) {
        if (auto* b = qobject_cast<const QAbstractButton*>(w))
            return b->text();
        if (auto* l = qobject_cast<const QLabel*>(w))
            return l->text();
        if (auto* g = qobject_cast<const QGroupBox*>(w))
            return g->title();
        return QString();
    };
    const std::vector<Expected> expected = {
        {ui().Bevel1, QRect(164, 7, 639, 30), QString()},
        {ui().Label1, QRect(174, 11, 434, 19),
         QStringLiteral("Multi-page file automatic drawing comparison conversion software")},
        {ui().Label4, QRect(15, 14, 136, 55),
         QStringLiteral("Input:         Multi-page file      PDF TIFF SXF HPGL")},
        {ui().RadioGroupOutTyp3, QRect(13, 81, 136, 150), QStringLiteral("Output type")},
        {ui().ListBox1, QRect(162, 45, 535, 450), QString()},
        {ui().ButtonSetAutoPar, QRect(702, 58, 140, 40), QStringLiteral("Set")},
        {ui().ButtonAutoOutput, QRect(702, 155, 140, 40), QStringLiteral("Standby output")},
        {ui().ButtonHelp, QRect(702, 320, 140, 40), QStringLiteral("Help")},
        {ui().ButtonVersion, QRect(702, 362, 140, 40), QStringLiteral("Version info")},
        {ui().ButtonOK, QRect(702, 435, 140, 40), QStringLiteral("End")},
        {ui().ButtonAppMinimize, QRect(808, 6, 30, 28), QStringLiteral("_")},
    };
    for (const Expected& e : expected) {
        EXPECT_EQ(geometryOf(e.w), e.rect) << e.w->objectName().toStdString();
        EXPECT_EQ(text(e.w), e.caption) << e.w->objectName().toStdString();
    }
    EXPECT_TRUE(ui().Label4->wordWrap());
    // Lines break at blanks only: the designed three lines.
    EXPECT_EQ(ui().Label4->wrappedLines(136),
              (QStringList{QStringLiteral("Input:"), QStringLiteral("Multi-page file"),
                           QStringLiteral("PDF TIFF SXF HPGL")}));
    EXPECT_EQ(ui().ListBox1->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(ui().ListBox1->count(), 0);

    const QFont minimize = ui().ButtonAppMinimize->font();
    EXPECT_EQ(minimize.family(), QStringLiteral("Courier"));
    EXPECT_TRUE(minimize.bold());
    EXPECT_EQ(minimize.pixelSize(), 23);
    EXPECT_EQ(ui().ButtonAppMinimize->toolTip(), QStringLiteral("Minimize"));
    EXPECT_EQ(ui().ButtonOK->font().pixelSize(), 16);

    const QStringList items{QStringLiteral("PDF"), QStringLiteral("TIFF"),
                            QStringLiteral("SXF(.p21)"), QStringLiteral("SXF(.sfc)"),
                            QStringLiteral("HPGL")};
    const std::vector<QRadioButton*> radios{ui().RadioOutTyp0, ui().RadioOutTyp1, ui().RadioOutTyp2,
                                            ui().RadioOutTyp3, ui().RadioOutTyp4};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(radios[static_cast<std::size_t>(i)]->text(), items[i]);
    EXPECT_TRUE(ui().RadioOutTyp0->isChecked());

    EXPECT_EQ(form->Timer1.interval(), 2000);
    EXPECT_FALSE(form->Timer1.isActive());
}

TEST_F(MainWindowTest, TabOrderStartsAtEndWhichHasTheFocus) {
    make();
    const std::vector<QWidget*> order{
        ui().ButtonOK, ui().ButtonSetAutoPar, ui().ButtonAutoOutput,  ui().ButtonHelp,
        ui().ListBox1, ui().ButtonVersion,    ui().ButtonAppMinimize, ui().RadioOutTyp0};
    QWidget* w = order.front();
    for (std::size_t i = 1; i < order.size(); ++i) {
        do {
            w = w->nextInFocusChain();
        } while (!(w->focusPolicy() & Qt::TabFocus));
        EXPECT_EQ(w, order[i]) << "after " << order[i - 1]->objectName().toStdString() << " came "
                               << w->objectName().toStdString();
    }
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(QApplication::focusWidget(), ui().ButtonOK);
}

TEST_F(MainWindowTest, FirstPaintSetsTheCaptionLoadsAndSelectsTheOutputType) {
    m.writePar(m.parLines("*.hgl", 6, 3));
    make();
    form->show();
    // The initialisation runs after the first paint.
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->core().FirstPaintDone; }));
    QTest::qWait(20);
    EXPECT_EQ(form->windowTitle(),
              QStringLiteral("<< Mervik >>  Version 11.00 Copyright (C) 2023 Corvanta"));
    EXPECT_EQ(settings.sChgAreaDir1, m.in1 + "/*.hgl");
    EXPECT_TRUE(ui().RadioOutTyp3->isChecked());
    EXPECT_EQ(settings.iOutTyp, 3);
    EXPECT_TRUE(warnings.empty());
    // Later paints do nothing more.
    settings.iOutTyp = 1;
    form->repaint();
    QTest::qWait(20);
    EXPECT_EQ(settings.iOutTyp, 1);
}

TEST_F(MainWindowTest, RadioGroupAndOutTypFollowEachOther) {
    m.writePar(m.parLines());
    started();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    // On the indicator: a radio button takes clicks on its indicator and text only.
    QTest::mouseClick(ui().RadioOutTyp4, Qt::LeftButton, {}, QPoint(6, 11));
    EXPECT_EQ(settings.iOutTyp, 4);
    QTest::mouseClick(ui().RadioOutTyp1, Qt::LeftButton, {}, QPoint(6, 11));
    EXPECT_EQ(settings.iOutTyp, 1);
    form->showOutputType(2);
    EXPECT_TRUE(ui().RadioOutTyp2->isChecked());
    EXPECT_EQ(settings.iOutTyp, 2);
    // An index beyond the items selects the last one, and iOutTyp follows it.
    form->showOutputType(7);
    EXPECT_TRUE(ui().RadioOutTyp4->isChecked());
    EXPECT_EQ(settings.iOutTyp, 4);
}

TEST_F(MainWindowTest, StandbyLocksSetStandbyAndOutputTypeOnly) {
    m.writePar(m.parLines("*.hgl", 6));
    started();
    QTest::mouseClick(ui().ButtonAutoOutput, Qt::LeftButton);
    ASSERT_TRUE(warnings.empty()) << warnings.front();
    EXPECT_TRUE(form->core().StandbyActive);
    EXPECT_TRUE(form->Timer1.isActive());
    EXPECT_FALSE(ui().ButtonSetAutoPar->isEnabled());
    EXPECT_FALSE(ui().ButtonAutoOutput->isEnabled());
    EXPECT_FALSE(ui().RadioGroupOutTyp3->isEnabled());
    for (QWidget* w :
         {static_cast<QWidget*>(ui().ButtonOK), static_cast<QWidget*>(ui().ButtonHelp),
          static_cast<QWidget*>(ui().ButtonVersion), static_cast<QWidget*>(ui().ButtonAppMinimize)})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
}

TEST_F(MainWindowTest, FailedStartCheckWarnsAndLeavesTheControlsUsable) {
    std::vector<std::string> lines = m.parLines();
    lines[14] = m.root + "/missing/";
    m.writePar(lines);
    started();
    QTest::mouseClick(ui().ButtonAutoOutput, Qt::LeftButton);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "Folder does not exist!\r" + m.root +
                               "/missing/\rRegister comparison with the Set Button");
    EXPECT_FALSE(form->core().StandbyActive);
    EXPECT_FALSE(form->Timer1.isActive());
    EXPECT_TRUE(ui().ButtonAutoOutput->isEnabled());
    EXPECT_TRUE(ui().ButtonSetAutoPar->isEnabled());
}

TEST_F(MainWindowTest, TicksCountTheWaitingTimeDownInLabel1) {
    m.writePar(m.parLines("*.hgl", 3725));
    started();
    QTest::mouseClick(ui().ButtonAutoOutput, Qt::LeftButton);
    EXPECT_EQ(ui().Label1->text(), QStringLiteral("Waiting!  Waiting time=1Hour2Minute5Second"));
    // Timer1's ticks, driven here instead of waiting for them.
    form->ButtonAutoOutputClick();
    EXPECT_EQ(ui().Label1->text(), QStringLiteral("Waiting!  Waiting time=1Hour2Minute3Second"));
    form->ButtonAutoOutputClick();
    EXPECT_EQ(ui().Label1->text(), QStringLiteral("Waiting!  Waiting time=1Hour2Minute1Second"));
    EXPECT_EQ(ui().ListBox1->count(), 0);  // polls without a pair log nothing
}

TEST_F(MainWindowTest, ARunWritesItsLinesIntoListBox1) {
    m.writePar(m.parLines("*.hgl", 0));
    e2e::writeText(m.in1 + "/plan.hgl", "pages=2\n");
    e2e::writeText(m.in2 + "/plan.hgl", "pages=2\n");
    started();
    QTest::mouseClick(ui().ButtonAutoOutput, Qt::LeftButton);
    form->ButtonAutoOutputClick();  // the countdown is 0: poll and run
    const QStringList expected{
        QStringLiteral("* Start Input file : plan.hgl"),
        QStringLiteral("1.Tolvane  Dir1\\MultiPage1File ==> Temp1\\1PageMultiFiles"),
        QStringLiteral("  Number of files in Temp1=2"),
        QStringLiteral("2.Tolvane  Dir2\\MultiPage1File ==> Temp2\\1PageMultiFiles"),
        QStringLiteral("  Number of files in Temp2=2"),
        QStringLiteral("3.Sandrel compares Temp1 and Temp2, and outputs to Temp3"),
        QStringLiteral("  Number of files in Temp3= 2"),
        QStringLiteral("4.Tolvane  Temp3\\1PageMultiFiles ==> OutDir\\MultiPage1File "),
        QStringLiteral("  Number of files in OutDir= 1"),
        QStringLiteral("* End"),
    };
    QStringList shown;
    for (int i = 0; i < ui().ListBox1->count(); ++i) {
        shown << ui().ListBox1->item(i)->text();
        EXPECT_EQ(ui().ListBox1->item(i)->sizeHint().height(), 19);
    }
    EXPECT_EQ(shown, expected);
    EXPECT_TRUE(e2e::readText(m.out + "/plan.pdf").value_or("").size() > 0);
    // The countdown starts again after the run.
    EXPECT_TRUE(form->Timer1.isActive());
    EXPECT_EQ(ui().Label1->text(), QStringLiteral("Waiting!  Waiting time=0Hour0Minute0Second"));
}

TEST_F(MainWindowTest, CommandLineBMinimisesTakesHpglAndEntersStandby) {
    m.writePar(m.parLines("*.hgl", 60, 0));
    make({"/b", "/oh", m.in1 + "/*.pdf", m.in2, m.out});
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->core().FirstPaintDone; }));
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    EXPECT_TRUE(form->isMinimized());
    EXPECT_EQ(settings.iOutTyp, 4);
    EXPECT_TRUE(ui().RadioOutTyp4->isChecked());
    EXPECT_EQ(settings.sChgAreaDir1, m.in1 + "/*.pdf");
    EXPECT_EQ(settings.sChgAreaDir2, m.in2 + "/");
    EXPECT_EQ(settings.sOutDir, m.out + "/");
    EXPECT_TRUE(form->core().StandbyActive);
    EXPECT_FALSE(ui().ButtonAutoOutput->isEnabled());
}

TEST_F(MainWindowTest, CommandLineCapitalOIsNoSwitch) {
    m.writePar(m.parLines("*.hgl", 60, 1));
    started({"/a", "/OP", "C:\\in2"});
    EXPECT_EQ(settings.sChgAreaDir1, "/OP");
    // A relative folder is taken from the working folder, as it is saved.
    const std::string in2 = std::filesystem::current_path().string() + "/C:\\in2/";
    EXPECT_EQ(settings.sChgAreaDir2, in2);
    EXPECT_EQ(settings.iOutTyp, 1);
    EXPECT_FALSE(form->isMinimized());
    // Standby was tried at once: "/OP" lies in the folder "/", which exists,
    // and the check stops at comparison folder 2.
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0],
              "Folder does not exist!\r" + in2 + "\rRegister comparison with the Set Button");
    EXPECT_FALSE(form->core().StandbyActive);
}

TEST_F(MainWindowTest, CommandLineUnknownOutputLetterUsesUpTheSwitchPlace) {
    m.writePar(m.parLines("*.hgl", 60, 2));
    started({"/a", "/ox", m.in1 + "/*.pdf"});
    EXPECT_EQ(settings.iOutTyp, 2);
    EXPECT_TRUE(ui().RadioOutTyp2->isChecked());
    EXPECT_EQ(settings.sChgAreaDir1, m.in1 + "/*.pdf");
    EXPECT_EQ(settings.sChgAreaDir2, m.in2 + "/");
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(form->core().StandbyActive);
}

TEST_F(MainWindowTest, ParameterFileThatCannotBeLoadedWarnsAndEndsTheProgram) {
    // No parameter file in the data folder, an empty Init folder.
    make();
    QSignalSpy closed(form.get(), &TMervikMForm::formClosed);
    form->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->core().FirstPaintDone; }));
    QTest::qWait(20);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], m.data + "/Mervik.par\rCannot open parameter file!");
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(MainWindowTest, MinimiseButtonMinimisesAndFocusesEnd) {
    m.writePar(m.parLines());
    started();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    ui().ButtonHelp->setFocus();
    QTest::mouseClick(ui().ButtonAppMinimize, Qt::LeftButton);
    EXPECT_TRUE(form->isMinimized());
    form->showNormal();
    EXPECT_EQ(form->focusWidget(), ui().ButtonOK);
}

TEST_F(MainWindowTest, EndClosesTheWindowAndTheEndSavesTheSettings) {
    m.writePar(m.parLines("*.hgl", 6, 0));
    started({"x", "/ot"});
    QSignalSpy closed(form.get(), &TMervikMForm::formClosed);
    form->show();
    QTest::mouseClick(ui().ButtonOK, Qt::LeftButton);
    EXPECT_EQ(closed.count(), 1);
    form.reset();  // FormDestroy
    std::vector<std::string> saved = m.parLines("*.hgl", 6, 1);
    EXPECT_EQ(e2e::readText(m.data + "/Mervik.par").value_or(""), e2e::crlf(saved));
    EXPECT_EQ(e2e::readText(m.sandrelPar).value_or(""), e2e::Sandbox::userSandrelText());
    EXPECT_FALSE(std::filesystem::exists(m.data + "/Sandrel.par"));
}

TEST_F(MainWindowTest, ReturnAndEnterPressTheFocusedButton) {
    m.writePar(m.parLines("*.hgl", 6, 0));
    started({"x", "/ot"});
    QSignalSpy closed(form.get(), &TMervikMForm::formClosed);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    // Keypad Enter on "Standby output" starts standby, as Space would.
    ui().ButtonAutoOutput->setFocus();
    QTest::keyClick(ui().ButtonAutoOutput, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(form->core().StandbyActive);
    EXPECT_EQ(closed.count(), 0);
    // Return goes to the focused button only; a modified Return presses nothing.
    ui().ButtonOK->setFocus();
    QTest::keyClick(ui().ButtonOK, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(closed.count(), 0);
    QTest::keyClick(ui().ButtonOK, Qt::Key_Return);
    EXPECT_EQ(closed.count(), 1);
    form.reset();  // FormDestroy
    EXPECT_EQ(e2e::readText(m.data + "/Mervik.par").value_or(""),
              e2e::crlf(m.parLines("*.hgl", 6, 1)));
}

TEST_F(MainWindowTest, AnEndAskedForBeforeTheFirstPaintComesAfterIt) {
    m.writePar(m.parLines("*.hgl", 6, 2));
    make({"x", "/oh"});
    QSignalSpy closed(form.get(), &TMervikMForm::formClosed);
    form->requestEnd();
    EXPECT_EQ(closed.count(), 0);
    form->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return closed.count() == 1; }));
    form.reset();
    // Loaded first, so the end keeps the user's settings (with the command line's).
    EXPECT_EQ(e2e::readText(m.data + "/Mervik.par").value_or(""),
              e2e::crlf(m.parLines("*.hgl", 6, 4)));
}

// ---------------------------------------------------------------- during a step

namespace {

// Counts the events of some types that reach a widget.
class EventCounter : public QObject {
  public:
    explicit EventCounter(QWidget* w) { w->installEventFilter(this); }
    int paints = 0;
    int input = 0;

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint)
            ++paints;
        if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::KeyPress)
            ++input;
        return false;
    }
};

}  // namespace

TEST_F(MainWindowTest, WhileASiblingRunsTheWindowPaintsButTakesNoInput) {
    m.writePar(m.parLines("*.hgl", 0));
    e2e::writeText(m.in1 + "/plan.hgl", "pages=1\n");
    e2e::writeText(m.in2 + "/plan.hgl", "pages=1\n");
    int steps = 0;
    int clicksDuringSteps = 0;
    int paintsDuringSteps = 0;
    bool closedDuringStep = false;
    mervik::WindowRunner runner([&](std::string_view) {
        // On the helper thread: the step lasts a while and does nothing.
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        return true;
    });
    started({}, &runner);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QSignalSpy versionClicks(ui().ButtonVersion, &QPushButton::clicked);
    QSignalSpy endClicks(ui().ButtonOK, &QPushButton::clicked);
    QSignalSpy closed(form.get(), &TMervikMForm::formClosed);
    EventCounter counter(form.get());
    EventCounter buttonCounter(ui().ButtonOK);

    // Once per step, in the middle of it: a click on "Version info" and on
    // "End", a key for "End", a repaint, and a close request.
    QTimer poke;
    poke.setInterval(100);
    QObject::connect(&poke, &QTimer::timeout, [&] {
        if (!runner.running())
            return;
        ++steps;
        const int paintsBefore = counter.paints;
        QTest::mouseClick(ui().ButtonVersion, Qt::LeftButton);
        QTest::mouseClick(ui().ButtonOK, Qt::LeftButton);
        QTest::keyClick(ui().ButtonOK, Qt::Key_Space);
        clicksDuringSteps += static_cast<int>(versionClicks.count() + endClicks.count());
        form->update();
        QTest::qWait(50);
        paintsDuringSteps += counter.paints - paintsBefore;
        QCloseEvent close;
        QApplication::sendEvent(form.get(), &close);
        closedDuringStep = closedDuringStep || close.isAccepted();
    });
    poke.start();
    QTest::mouseClick(ui().ButtonAutoOutput, Qt::LeftButton);
    form->ButtonAutoOutputClick();
    poke.stop();

    EXPECT_GE(steps, 4);
    EXPECT_EQ(clicksDuringSteps, 0);
    EXPECT_EQ(buttonCounter.input, 0);
    EXPECT_GT(paintsDuringSteps, 0);
    EXPECT_FALSE(closedDuringStep);
    // The close asked for during the run comes after it.
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(ui().ListBox1->item(0)->text(), QStringLiteral("* Start Input file : plan.hgl"));
}

// ---------------------------------------------------------------- warning box

TEST(WarningBox, IsAWarningWithOneOkButtonAndLinesAtEachCr) {
    QMessageBox box;
    mervik::setUpWarningBox(box,
                            "Folder does not exist!\r/x/\rRegister comparison with the Set Button");
    EXPECT_EQ(box.icon(), QMessageBox::Warning);
    EXPECT_EQ(box.windowTitle(), QStringLiteral("警告"));
    EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(box.text(),
              QStringLiteral("Folder does not exist!\n/x/\nRegister comparison with the "
                             "Set Button"));
    EXPECT_EQ(box.textFormat(), Qt::PlainText);
}

TEST(WarningBox, ShowsModallyCentredOnTheScreen) {
    QRect seen;
    QString title;
    apptest::onNextModal([&](QWidget* modal) {
        seen = modal->frameGeometry();
        title = modal->windowTitle();
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        box->button(QMessageBox::Ok)->click();
    });
    mervik::showWarningBox("Cannot open parameter file!");
    EXPECT_EQ(title, QStringLiteral("警告"));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(std::abs(seen.center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(seen.center().y() - screen.center().y()), 1);
}

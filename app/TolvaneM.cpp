#include "app/TolvaneM.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QListWidgetItem>
#include <QMetaObject>
#include <QPaintEvent>
#include <algorithm>
#include <array>

#include "app/awhhelp.h"
#include "app/form_setup.h"
#include "app/maker.h"
#include "app/window_runner.h"
#include "dialogs/dialog_support.h"
#include "ui_TolvaneM.h"

namespace {
constexpr int kTickMs = 2000;
constexpr int kLogItemHeight = 19;

QString fromBytes(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

TMervikMForm::TMervikMForm(mervik::TSettings& settings, mervik::CoreEnvironment env,
                           std::vector<std::string> args, mervik::ApplicationHelp& appHelp,
                           mervik::SiblingRunner* runner, QWidget* parent)
    : QWidget(parent),
      ui_(std::make_unique<Ui::TMervikMForm>()),
      settings_(settings),
      args_(std::move(args)),
      appHelp_(appHelp),
      ownRunner_(runner != nullptr ? nullptr : std::make_unique<mervik::WindowRunner>()),
      core_(settings, *this,
            runner != nullptr ? *runner : static_cast<mervik::SiblingRunner&>(*ownRunner_),
            std::move(env)) {
    ui_->setupUi(this);
    mervik::applyPixelFonts(this);
    mervik::pressFocusedButtonOnReturn(this);
    // Fixed dialog border: a system menu and close box, nothing to resize,
    // no minimise or maximise box ("_" minimises instead).
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(850, 505);

    const std::array<QRadioButton*, 5> items{ui_->RadioOutTyp0, ui_->RadioOutTyp1,
                                             ui_->RadioOutTyp2, ui_->RadioOutTyp3,
                                             ui_->RadioOutTyp4};
    for (int i = 0; i < 5; ++i)
        outTypGroup_.addButton(items[static_cast<std::size_t>(i)], i);
    outTypGroup_.setExclusive(true);

    Timer1.setInterval(kTickMs);
    Timer1.stop();

    HTMLHelp1 = new mervik::THTMLHelp(appHelp_, this);
    HTMLHelp1->Loaded();

    connect(ui_->ButtonSetAutoPar, &QPushButton::clicked, this,
            &TMervikMForm::ButtonSetAutoParClick);
    connect(ui_->ButtonAutoOutput, &QPushButton::clicked, this,
            &TMervikMForm::ButtonAutoOutputClick);
    connect(ui_->ButtonHelp, &QPushButton::clicked, this, &TMervikMForm::ButtonHelpClickClick);
    connect(ui_->ButtonVersion, &QPushButton::clicked, this, &TMervikMForm::ButtonVersionClick);
    connect(ui_->ButtonOK, &QPushButton::clicked, this, &TMervikMForm::ButtonOKClick);
    connect(ui_->ButtonAppMinimize, &QPushButton::clicked, this,
            &TMervikMForm::ButtonAppMinimizeClick);
    connect(&outTypGroup_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            RadioGroupOutTyp3Click(id);
    });
    connect(&Timer1, &QTimer::timeout, this, &TMervikMForm::ButtonAutoOutputClick);

    ui_->ButtonOK->setFocus();
    // The session lock does not see an instance of another session or machine
    // on the same data folder; this lock does, for the whole process. When it
    // is held, nothing is backed up now and nothing saved at the end.
    if (core_.lockDataFolder() == mervik::DataFolderLockResult::heldByOther) {
        dataFolderHeldByOther_ = true;
        destroyed_ = true;
        return;
    }
    FormCreate();
}

TMervikMForm::~TMervikMForm() {
    FormDestroy();
}

void TMervikMForm::FormCreate() {
    core_.FormCreate();
}

void TMervikMForm::FormDestroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    Timer1.stop();
    core_.FormDestroy();
}

bool TMervikMForm::FormPaint() {
    if (core_.FirstPaintDone)
        return true;
    const std::string caption = "<< Mervik >>  " + std::string(mervik::ParFileVersion) + " " +
                                std::string(mervik::maker::kRightsNotice);
    setWindowTitle(fromBytes(caption));
    if (!core_.FormPaint(args_)) {
        close();
        return false;
    }
    if (endRequested_)
        close();
    return true;
}

void TMervikMForm::requestEnd() {
    if (core_.FirstPaintDone)
        close();
    else
        endRequested_ = true;
}

void TMervikMForm::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    // Warning boxes and sibling runs cannot happen inside a paint: the
    // initialisation runs right after the first one instead.
    if (!firstPaintQueued_ && !core_.FirstPaintDone) {
        firstPaintQueued_ = true;
        QMetaObject::invokeMethod(
            this, [this] { FormPaint(); }, Qt::QueuedConnection);
    }
}

void TMervikMForm::closeEvent(QCloseEvent* event) {
    // A close request during a run (the window system's close box, a stop
    // signal) ends the running step's programs; the window closes when the
    // run has given up.
    if (busy_) {
        closeDeferred_ = true;
        if (ownRunner_)
            ownRunner_->cancel();
        event->ignore();
        return;
    }
    event->accept();
    emit formClosed();
}

void TMervikMForm::changeEvent(QEvent* event) {
    // Back from the taskbar, "End" has the focus.
    if (event->type() == QEvent::WindowStateChange && !isMinimized())
        ui_->ButtonOK->setFocus();
    QWidget::changeEvent(event);
}

// ---------------------------------------------------------------- handlers

void TMervikMForm::ButtonSetAutoParClick() {
    if (SetAutoParForm_ != nullptr)
        SetAutoParForm_->exec();
}

void TMervikMForm::ButtonAutoOutputClick() {
    if (busy_)
        return;
    busy_ = true;
    core_.ButtonAutoOutputClick();
    busy_ = false;
    if (closeDeferred_) {
        closeDeferred_ = false;
        close();
    }
}

void TMervikMForm::ButtonHelpClickClick() {
    appHelp_.HelpCommand(mervik::HELP_FINDER, 0);
}

void TMervikMForm::ButtonVersionClick() {
    if (Tolvane3Form_ != nullptr)
        Tolvane3Form_->exec();
}

void TMervikMForm::ButtonOKClick() {
    // "End" between two steps of a run lets the run finish first.
    if (busy_) {
        closeDeferred_ = true;
        return;
    }
    close();
}

void TMervikMForm::ButtonAppMinimizeClick() {
    minimizeApplication();
    ui_->ButtonOK->setFocus();
}

void TMervikMForm::RadioGroupOutTyp3Click(int index) {
    settings_.iOutTyp = static_cast<std::uint8_t>(index);
}

// ---------------------------------------------------------------- RunView

void TMervikMForm::setStatus(const std::string& text) {
    ui_->Label1->setText(fromBytes(text));
}

void TMervikMForm::addLogLine(const std::string& line) {
    auto* item = new QListWidgetItem(fromBytes(line), ui_->ListBox1);
    item->setSizeHint(QSize(0, kLogItemHeight));
}

int TMervikMForm::logLineCount() const {
    return ui_->ListBox1->count();
}

void TMervikMForm::clearLog() {
    ui_->ListBox1->clear();
}

void TMervikMForm::processPendingMessages() {
    // Paints and timers, not input: a click between two steps waits for the
    // run's end like one made while a sibling runs.
    mervik::InputBlocker blocker;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TMervikMForm::setControlsEnabled(bool enabled) {
    ui_->ButtonSetAutoPar->setEnabled(enabled);
    ui_->ButtonAutoOutput->setEnabled(enabled);
    ui_->RadioGroupOutTyp3->setEnabled(enabled);
}

void TMervikMForm::setTimerEnabled(bool enabled) {
    if (enabled)
        Timer1.start();
    else
        Timer1.stop();
}

void TMervikMForm::showOutputType(int outTyp) {
    // A radio group's index beyond its items selects the last item.
    const int index = std::clamp(outTyp, 0, static_cast<int>(outTypGroup_.buttons().size()) - 1);
    outTypGroup_.button(index)->setChecked(true);
    // A change sets iOutTyp through the group; selecting the item already
    // selected must set it as well.
    RadioGroupOutTyp3Click(index);
}

void TMervikMForm::minimizeApplication() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible())
            w->showMinimized();
}

// The main window: buttons, run log, status line and output-type choice over
// the window-free core, which it shows through RunView.
#pragma once

#include <QButtonGroup>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "app/app_help.h"
#include "automation/mervik_core.h"
#include "automation/run_view.h"
#include "automation/sibling_runner.h"
#include "settings/Tolvane1.h"

QT_BEGIN_NAMESPACE
class QDialog;
namespace Ui {
class TMervikMForm;
}
QT_END_NAMESPACE

namespace mervik {
class THTMLHelp;
class WindowRunner;
}  // namespace mervik

class TMervikMForm : public QWidget, public mervik::RunView {
    Q_OBJECT

  public:
    // args: the command line without the program name. runner: the sibling
    // runner; null for the window's own, which keeps the window painted and
    // deaf to input while a sibling runs.
    TMervikMForm(mervik::TSettings& settings, mervik::CoreEnvironment env,
                 std::vector<std::string> args, mervik::ApplicationHelp& appHelp,
                 mervik::SiblingRunner* runner = nullptr, QWidget* parent = nullptr);
    ~TMervikMForm() override;

    // The modal windows behind "Version info" and "Set"; created after the
    // main window, as the program start orders them.
    void setVersionForm(QDialog* form) { Tolvane3Form_ = form; }
    void setSettingsForm(QDialog* form) { SetAutoParForm_ = form; }

    // The first-paint initialisation; false when the program is to end.
    bool FormPaint();
    // Ends the program as "End" does; asked before the first paint, once that
    // has loaded the settings (which the end saves again).
    void requestEnd();
    // Saves the settings and hands the siblings' parameter files back; runs
    // once, at the latest when the window is destroyed.
    void FormDestroy();

    mervik::MervikCore& core() { return core_; }
    // Another instance (of another session or machine) works on our data
    // folder: this one must end at once, having changed nothing.
    bool dataFolderHeldByOther() const { return dataFolderHeldByOther_; }
    const Ui::TMervikMForm& ui() const { return *ui_; }
    QTimer Timer1;
    mervik::THTMLHelp* HTMLHelp1 = nullptr;
    // True while the standby handler runs (a poll and its run).
    bool busy() const { return busy_; }

    // --- RunView
    void setStatus(const std::string& text) override;
    void addLogLine(const std::string& line) override;
    int logLineCount() const override;
    void clearLog() override;
    void processPendingMessages() override;
    void setControlsEnabled(bool enabled) override;
    void setTimerEnabled(bool enabled) override;
    bool isTimerEnabled() const override { return Timer1.isActive(); }
    void showOutputType(int outTyp) override;
    void minimizeApplication() override;

  signals:
    // The window has closed: the program ends, whatever other window is open.
    void formClosed();

  public slots:
    void ButtonSetAutoParClick();
    void ButtonAutoOutputClick();
    void ButtonHelpClickClick();
    void ButtonVersionClick();
    void ButtonOKClick();
    void ButtonAppMinimizeClick();
    void RadioGroupOutTyp3Click(int index);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void FormCreate();

    std::unique_ptr<Ui::TMervikMForm> ui_;
    mervik::TSettings& settings_;
    std::vector<std::string> args_;
    mervik::ApplicationHelp& appHelp_;
    std::unique_ptr<mervik::WindowRunner> ownRunner_;
    mervik::MervikCore core_;
    QButtonGroup outTypGroup_;
    QDialog* Tolvane3Form_ = nullptr;
    QDialog* SetAutoParForm_ = nullptr;
    bool firstPaintQueued_ = false;
    bool destroyed_ = false;
    bool dataFolderHeldByOther_ = false;
    bool busy_ = false;
    bool closeDeferred_ = false;
    bool endRequested_ = false;
};

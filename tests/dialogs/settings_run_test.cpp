// A first comparison set up entirely through the dialogs: the settings and
// an extension list entered as a user would, standby started, one pair run
// by stand-ins for the sibling programs, and the parameter file written at
// the end with exactly what was entered.
#include <algorithm>
#include <filesystem>

#include "automation/mervik_core.h"
#include "tests/dialogs/dialog_test_support.h"

namespace mervik::test {
namespace {

namespace fs = std::filesystem;

class RecordingView : public RunView {
  public:
    void setStatus(const std::string& text) override { status = text; }
    void addLogLine(const std::string& line) override { log.push_back(line); }
    int logLineCount() const override { return static_cast<int>(log.size()); }
    void clearLog() override { log.clear(); }
    void processPendingMessages() override { QCoreApplication::processEvents(); }
    void setControlsEnabled(bool enabled) override { controlsEnabled = enabled; }
    void setTimerEnabled(bool enabled) override { timer = enabled; }
    bool isTimerEnabled() const override { return timer; }

    std::string status;
    std::vector<std::string> log;
    bool controlsEnabled = true;
    bool timer = false;
};

TEST(SettingsRun, FirstComparisonSetUpThroughTheDialogs) {
    TempRoot root;
    FirstComparison machine(root, "plan.ai");
    std::vector<std::string>& warnings = machine.warnings;

    TSettings settings;
    RecordingView view;
    ProcessRunner runner;
    CoreEnvironment env{machine.localAppData, machine.init,
                        [] { return std::string("8 Dec 2026 09:05:03"); }};
    MervikCore core(settings, view, runner, env);
    core.FormCreate();
    ASSERT_TRUE(core.FormPaint({}));
    warnings.clear();  // the Init file names no sibling programs yet

    // The "Set" button's dialog, as the main window owns it.
    TFolderOpenForm folderOpen;
    TSetinputFileDlg inputFileDlg(settings);
    TSetAutoParForm form(settings, folderOpen, inputFileDlg, {});
    form.show();
    setEdit(form, "SandrelExeEdit", machine.sandrel);
    setEdit(form, "TolvaneExeEdit", machine.tolvane);
    pickFolder(form, "Button4", folderOpen, machine.in1);
    pickFolder(form, "Button5", folderOpen, machine.in2);
    pickFolder(form, "Button3", folderOpen, machine.out);
    // The drawings are PDF files named .ai here: teach the PDF list that.
    {
        ModalDriver extensions([&](QWidget* modal) {
            setEdit(*modal, "EditPdfFileExt", "pdf; ai");
            click(*modal, "OKBtn");
        });
        click(form, "ButtonBatchFileExt");
    }
    setEdit(form, "sChgAreaDir1Edit", machine.in1 + "*.ai");
    QSpinBox* wait = child<QSpinBox>(form, "WaitTimeEdit");
    wait->selectAll();
    QTest::keyClicks(wait, QStringLiteral("1"));
    click(form, "ButtonOK");
    ASSERT_TRUE(warnings.empty()) << warnings.front();
    ASSERT_EQ(form.result(), QDialog::Accepted);

    // "Standby output", then the two-second ticks until the pair has run.
    core.ButtonAutoOutputClick();
    ASSERT_TRUE(core.StandbyActive) << (warnings.empty() ? "" : warnings.front());
    for (int tick = 0; tick < 40 && fs::exists(machine.in1 + "plan.ai"); ++tick) {
        core.ButtonAutoOutputClick();
    }
    EXPECT_FALSE(fs::exists(machine.in1 + "plan.ai"));
    EXPECT_FALSE(fs::exists(machine.in2 + "plan.ai"));
    EXPECT_TRUE(fs::exists(machine.out + "plan.pdf"));
    ASSERT_FALSE(view.log.empty());
    EXPECT_EQ(view.log.back(), "* End");
    EXPECT_TRUE(std::none_of(view.log.begin(), view.log.end(), [](const std::string& line) {
        return line.find("***") != std::string::npos;
    }));

    // "End": the parameter file holds exactly what was entered.
    core.FormDestroy();
    EXPECT_EQ(readFile(settings.sParFile), machine.parFileFor("pdf;ai", 60, "*.ai"));
}

}  // namespace
}  // namespace mervik::test

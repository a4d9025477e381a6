// A first comparison set up entirely through the dialogs: the settings and
// an extension list entered as a user would, standby started, one pair run
// by stand-ins for the sibling programs, and the parameter file written at
// the end with exactly what was entered.
#include <algorithm>
#include <filesystem>

#include "automation/mervik_core.h"
#include "dialog_test_support.h"
#include "folder_tree.h"

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

void installProgram(const std::string& target) {
    fs::copy_file(FAKE_SIBLING_PATH, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_all, fs::perm_options::add);
}

// Picks folder in the folder dialog's tree, as a click would, and opens it.
ModalDriver chooseInTree(TFolderOpenForm& dialog, const std::string& folder) {
    return ModalDriver([&dialog, folder](QWidget*) {
        dialog.folderView().SelectPath(qs(folder));
        click(dialog, "ButtonOK");
    });
}

TEST(SettingsRun, FirstComparisonSetUpThroughTheDialogs) {
    TempRoot root;
    std::vector<std::string> warnings;
    setWarningHook([&](const std::string& text) { warnings.push_back(text); });
    for (const char* folder : {"Corvanta/Sandrel", "Corvanta/Tolvane", "HpglData/InData1",
                               "HpglData/InData2", "HpglData/OutData", "Init"}) {
        fs::create_directories(root / folder);
    }
    const std::string sandrel = root / "Corvanta/Sandrel/sandrel";
    const std::string tolvane = root / "Corvanta/Tolvane/tolvane";
    installProgram(sandrel);
    installProgram(tolvane);
    writeFile(root / "Init/Mervik.par", formatParFile(TSettings{}));
    writeFile(root / "HpglData/InData1/plan.ai", "pages=3\n");
    writeFile(root / "HpglData/InData2/plan.ai", "pages=3\n");

    TSettings settings;
    RecordingView view;
    ProcessRunner runner;
    CoreEnvironment env{root / "home/.local/share", root / "Init",
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
    setEdit(form, "SandrelExeEdit", sandrel);
    setEdit(form, "TolvaneExeEdit", tolvane);
    {
        auto pick = chooseInTree(folderOpen, root / "HpglData/InData1");
        click(form, "Button4");
    }
    {
        auto pick = chooseInTree(folderOpen, root / "HpglData/InData2");
        click(form, "Button5");
    }
    {
        auto pick = chooseInTree(folderOpen, root / "HpglData/OutData");
        click(form, "Button3");
    }
    // The drawings are PDF files named .ai here: teach the PDF list that.
    {
        ModalDriver extensions([&](QWidget* modal) {
            setEdit(*modal, "EditPdfFileExt", "pdf; ai");
            click(*modal, "OKBtn");
        });
        click(form, "ButtonBatchFileExt");
    }
    setEdit(form, "sChgAreaDir1Edit", root / "HpglData/InData1/*.ai");
    QSpinBox* wait = child<QSpinBox>(form, "WaitTimeEdit");
    wait->selectAll();
    QTest::keyClicks(wait, QStringLiteral("1"));
    click(form, "ButtonOK");
    ASSERT_TRUE(warnings.empty()) << warnings.front();
    ASSERT_EQ(form.result(), QDialog::Accepted);

    // "Standby output", then the two-second ticks until the pair has run.
    core.ButtonAutoOutputClick();
    ASSERT_TRUE(core.StandbyActive) << (warnings.empty() ? "" : warnings.front());
    for (int tick = 0; tick < 40 && fs::exists(root / "HpglData/InData1/plan.ai"); ++tick) {
        core.ButtonAutoOutputClick();
    }
    EXPECT_FALSE(fs::exists(root / "HpglData/InData1/plan.ai"));
    EXPECT_FALSE(fs::exists(root / "HpglData/InData2/plan.ai"));
    EXPECT_TRUE(fs::exists(root / "HpglData/OutData/plan.pdf"));
    ASSERT_FALSE(view.log.empty());
    EXPECT_EQ(view.log.back(), "* End");
    EXPECT_TRUE(std::none_of(view.log.begin(), view.log.end(), [](const std::string& line) {
        return line.find("***") != std::string::npos;
    }));

    // "End": the parameter file holds exactly what was entered.
    core.FormDestroy();
    const std::string expected =
        std::string("Version 11.00\r\n") +
        "hgl\r\ntif\r\npdf;ai\r\nemf\r\ndxf\r\ndwg\r\nigs\r\ngbr\r\n" + sandrel + "\r\n" + tolvane +
        "\r\n" + (root / "HpglData/OutData/") + "\r\n60\r\n" + (root / "HpglData/InData1/*.ai") +
        "\r\n" + (root / "HpglData/InData2/") + "\r\n0\r\n";
    EXPECT_EQ(readFile(settings.sParFile), expected);
    setWarningHook({});
}

}  // namespace
}  // namespace mervik::test

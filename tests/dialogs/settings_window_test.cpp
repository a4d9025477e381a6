// The first comparison of a new user through the main window: "Set" and its
// dialogs, "Standby output", a run by stand-ins for the sibling programs,
// then "End", which writes the parameter file with exactly what was entered.
#include <filesystem>
#include <memory>

#include "app/TolvaneM.h"
#include "tests/dialogs/dialog_test_support.h"

namespace mervik::test {
namespace {

namespace fs = std::filesystem;

TEST(SettingsWindow, SetStandbyRunAndEnd) {
    TempRoot root;
    FirstComparison machine(root, "plan.pdf");
    std::vector<std::string>& warnings = machine.warnings;

    TSettings settings;
    CoreEnvironment env;
    env.localAppData = machine.localAppData;
    env.initFolder = machine.init;
    ApplicationHelp appHelp;
    ProcessRunner runner;
    auto window =
        std::make_unique<TMervikMForm>(settings, env, std::vector<std::string>{}, appHelp, &runner);
    TFolderOpenForm folderOpen;
    TSetinputFileDlg inputFileDlg(settings);
    TSetAutoParForm form(settings, folderOpen, inputFileDlg, {});
    window->setSettingsForm(&form);
    window->show();
    for (int i = 0; i < 100 && !window->core().FirstPaintDone; ++i) {
        QTest::qWait(10);
    }
    ASSERT_TRUE(window->core().FirstPaintDone);
    warnings.clear();  // the Init file names no sibling programs yet

    ModalDriver set([&](QWidget* modal) {
        ASSERT_EQ(modal, &form);
        setEdit(form, "SandrelExeEdit", machine.sandrel);
        setEdit(form, "TolvaneExeEdit", machine.tolvane);
        pickFolder(form, "Button4", folderOpen, machine.in1);
        pickFolder(form, "Button5", folderOpen, machine.in2);
        pickFolder(form, "Button3", folderOpen, machine.out);
        QSpinBox* wait = child<QSpinBox>(form, "WaitTimeEdit");
        wait->selectAll();
        QTest::keyClicks(wait, QStringLiteral("3"));
        click(form, "ButtonOK");
    });
    click(*window, "ButtonSetAutoPar");
    ASSERT_TRUE(set.ran());
    ASSERT_TRUE(warnings.empty()) << warnings.front();
    EXPECT_EQ(form.result(), QDialog::Accepted);

    click(*window, "ButtonAutoOutput");
    ASSERT_TRUE(window->isTimerEnabled());
    // The test plays the two-second timer, whose ticks go to the same handler.
    for (int tick = 0; tick < 200 && fs::exists(machine.in1 + "plan.pdf"); ++tick) {
        window->ButtonAutoOutputClick();
    }
    EXPECT_TRUE(fs::exists(machine.out + "plan.pdf"));
    EXPECT_FALSE(fs::exists(machine.in2 + "plan.pdf"));

    click(*window, "ButtonOK");  // "End"
    EXPECT_FALSE(window->isVisible());
    const std::string parFile = settings.sParFile;
    window.reset();
    EXPECT_EQ(readFile(parFile), machine.parFileFor("pdf", 180, "*.pdf"));
}

}  // namespace
}  // namespace mervik::test

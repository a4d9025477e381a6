// The first comparison of a new user through the main window: "Set" and its
// dialogs, "Standby output", a run by stand-ins for the sibling programs,
// then "End", which writes the parameter file with exactly what was entered.
#include <filesystem>
#include <memory>

#include "app/TolvaneM.h"
#include "dialog_test_support.h"
#include "folder_tree.h"

namespace mervik::test {
namespace {

namespace fs = std::filesystem;

void installProgram(const std::string& target) {
    fs::copy_file(FAKE_SIBLING_PATH, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_all, fs::perm_options::add);
}

// The folder dialog opened by button of form: picks folder in the tree, as a
// click would, and opens it.
void pickFolder(QWidget& form, const char* button, TFolderOpenForm& dialog,
                const std::string& folder) {
    ModalDriver pick([&](QWidget*) {
        dialog.folderView().SelectPath(qs(folder));
        click(dialog, "ButtonOK");
    });
    click(form, button);
    EXPECT_TRUE(pick.ran()) << button;
}

TEST(SettingsWindow, SetStandbyRunAndEnd) {
    TempRoot root;
    for (const char* folder : {"Corvanta/Sandrel", "Corvanta/Tolvane", "HpglData/InData1",
                               "HpglData/InData2", "HpglData/OutData", "Init"}) {
        fs::create_directories(root / folder);
    }
    const std::string sandrel = root / "Corvanta/Sandrel/sandrel";
    const std::string tolvane = root / "Corvanta/Tolvane/tolvane";
    installProgram(sandrel);
    installProgram(tolvane);
    writeFile(root / "Init/Mervik.par", formatParFile(TSettings{}));
    writeFile(root / "HpglData/InData1/plan.pdf", "pages=2\n");
    writeFile(root / "HpglData/InData2/plan.pdf", "pages=2\n");

    std::vector<std::string> warnings;
    setWarningHook([&](const std::string& text) { warnings.push_back(text); });
    TSettings settings;
    CoreEnvironment env;
    env.localAppData = root / "home/.local/share";
    env.initFolder = root / "Init";
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
        setEdit(form, "SandrelExeEdit", sandrel);
        setEdit(form, "TolvaneExeEdit", tolvane);
        pickFolder(form, "Button4", folderOpen, root / "HpglData/InData1");
        pickFolder(form, "Button5", folderOpen, root / "HpglData/InData2");
        pickFolder(form, "Button3", folderOpen, root / "HpglData/OutData");
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
    for (int tick = 0; tick < 200 && fs::exists(root / "HpglData/InData1/plan.pdf"); ++tick) {
        window->ButtonAutoOutputClick();
    }
    EXPECT_TRUE(fs::exists(root / "HpglData/OutData/plan.pdf"));
    EXPECT_FALSE(fs::exists(root / "HpglData/InData2/plan.pdf"));

    click(*window, "ButtonOK");  // "End"
    EXPECT_FALSE(window->isVisible());
    const std::string parFile = settings.sParFile;
    window.reset();
    const std::string expected =
        std::string("Version 11.00\r\n") +
        "hgl\r\ntif\r\npdf\r\nemf\r\ndxf\r\ndwg\r\nigs\r\ngbr\r\n" + sandrel + "\r\n" + tolvane +
        "\r\n" + (root / "HpglData/OutData/") + "\r\n180\r\n" + (root / "HpglData/InData1/*.pdf") +
        "\r\n" + (root / "HpglData/InData2/") + "\r\n0\r\n";
    EXPECT_EQ(readFile(parFile), expected);
    setWarningHook({});
}

}  // namespace
}  // namespace mervik::test

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <filesystem>
#include <fstream>
#include <optional>

#include "tests/dialogs/dialog_test_support.h"

namespace mervik::test {
namespace {

using SetAutoParTest = DialogTest;

QSpinBox* waitEdit(QWidget& form) {
    return child<QSpinBox>(form, "WaitTimeEdit");
}

TEST_F(SetAutoParTest, OkStoresTheFieldsAndNormalisedFolders) {
    fillValid();
    setEdit(form, "sChgAreaDir2Edit", path("in2"));   // the folder itself, "/" added
    setEdit(form, "sOutDirEdit", path("out/x.txt"));  // no folder: its folder part
    waitEdit(form)->setValue(5);
    click(form, "ButtonOK");

    EXPECT_TRUE(warnings.empty()) << warnings.front();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(settings.sSandrelExe, path("bin/sandrel"));
    EXPECT_EQ(settings.sTolvaneExe, path("bin/tolvane"));
    EXPECT_EQ(settings.sChgAreaDir1, path("in1/*.pdf"));
    EXPECT_EQ(settings.sChgAreaDir2, path("in2/"));
    EXPECT_EQ(settings.sOutDir, path("out/"));
    EXPECT_EQ(settings.iWaitTime, 300);
    EXPECT_EQ(editText(form, "sChgAreaDir2Edit"), path("in2/"));
}

TEST_F(SetAutoParTest, FoldersTypedWithoutTheSeparatorAreThoseFolders) {
    std::filesystem::create_directories(path("out/sub"));
    // Two different folders, once taken for their common parent and so
    // refused as the same; a missing one is still reduced to its parent.
    fillValid();
    setEdit(form, "sChgAreaDir2Edit", path("in2"));
    setEdit(form, "sOutDirEdit", path("out/sub"));
    click(form, "ButtonOK");
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    EXPECT_EQ(settings.sChgAreaDir2, path("in2/"));
    EXPECT_EQ(settings.sOutDir, path("out/sub/"));

    form.show();
    setEdit(form, "sOutDirEdit", path("out/missing"));
    click(form, "ButtonOK");
    EXPECT_EQ(settings.sOutDir, path("out/"));
    // The same folder typed both ways is still the same.
    form.show();
    setEdit(form, "sOutDirEdit", path("in2"));
    click(form, "ButtonOK");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], warning(message(Msg::outputIsComparisonFolder), path("in2/")));
}

TEST_F(SetAutoParTest, WaitingTimeInMinutesBothWays) {
    const std::pair<int, int> stored[] = {{0, 2}, {1, 60}, {1440, 86400}};
    for (const auto& [minutes, seconds] : stored) {
        form.show();
        fillValid();
        waitEdit(form)->setValue(minutes);
        click(form, "ButtonOK");
        EXPECT_EQ(settings.iWaitTime, seconds) << minutes;
    }
    const std::pair<int, int> shown[] = {{2, 0}, {90, 1}, {120, 2}, {86400, 1440}, {59, 0}};
    for (const auto& [seconds, minutes] : shown) {
        settings.iWaitTime = seconds;
        form.hide();
        form.show();
        EXPECT_EQ(waitEdit(form)->value(), minutes) << seconds;
    }
    // 90 seconds shows as 1 minute, and OK without a change stores 60.
    settings.iWaitTime = 90;
    form.hide();
    form.show();
    fillValid();
    click(form, "ButtonOK");
    EXPECT_EQ(settings.iWaitTime, 60);
}

TEST_F(SetAutoParTest, AnEmptiedWaitingTimeReadsAsZeroMinutes) {
    fillValid();
    QSpinBox* spin = waitEdit(form);
    spin->setValue(7);
    spin->setFocus();
    spin->selectAll();
    QTest::keyClick(spin, Qt::Key_Delete);
    ASSERT_TRUE(spin->cleanText().isEmpty());
    click(form, "ButtonOK");
    EXPECT_EQ(settings.iWaitTime, 2);
    EXPECT_EQ(spin->value(), 0);
    EXPECT_EQ(spin->minimum(), 0);
    EXPECT_EQ(spin->maximum(), 1440);
}

TEST_F(SetAutoParTest, FirstFailureStopsTheChecksAndStoresNothing) {
    const TSettings before = settings;
    fillValid();
    setEdit(form, "SandrelExeEdit", path("bin/missing"));
    setEdit(form, "sChgAreaDir2Edit", path("in2"));
    click(form, "ButtonOK");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], warning(message(Msg::fileDoesNotExist), path("bin/missing")));
    // Nothing later was tested or normalised.
    EXPECT_EQ(editText(form, "sChgAreaDir2Edit"), path("in2"));
    EXPECT_EQ(settings, before);
    EXPECT_TRUE(form.isVisible());
    EXPECT_NE(form.result(), QDialog::Accepted);
}

TEST_F(SetAutoParTest, EachCheckInTurnWithItsMessageAndField) {
    struct Case {
        const char* edit;
        std::string text;
        Msg message;
    };
    writeFile(path("bin/Sandrel2"), "");
    std::filesystem::create_directories(path("bin/tolvane.d/tolvane"));
    const Case cases[] = {
        {"SandrelExeEdit", path("bin/Sandrel2"), Msg::fileDoesNotExist},
        {"SandrelExeEdit", "", Msg::fileDoesNotExist},
        {"TolvaneExeEdit", path("bin/tolvane.d/tolvane"), Msg::fileDoesNotExist},
        {"sChgAreaDir1Edit", path("none/*.pdf"), Msg::folderDoesNotExist},
        {"sChgAreaDir1Edit", "*.pdf", Msg::folderDoesNotExist},
        {"sChgAreaDir2Edit", path("none/"), Msg::folderDoesNotExist},
        {"sChgAreaDir2Edit", "", Msg::folderDoesNotExist},
        {"sOutDirEdit", path("none/x/"), Msg::folderDoesNotExist},
        {"sChgAreaDir1Edit", path("in1/*.dxf"), Msg::comparisonTypeRefused},
        {"sChgAreaDir1Edit", path("in1/*.*"), Msg::comparisonTypeRefused},
        {"sChgAreaDir1Edit", path("in1/a.cmt"), Msg::comparisonTypeRefused},
    };
    const TSettings before = settings;
    for (const Case& c : cases) {
        warnings.clear();
        fillValid();
        setEdit(form, c.edit, c.text);
        click(form, "ButtonOK");
        ASSERT_EQ(warnings.size(), 1u) << c.edit << " " << c.text;
        EXPECT_EQ(warnings[0], warning(message(c.message), c.text));
        EXPECT_EQ(settings, before);
        // Comparison file 1 is tested on a copy: its pattern stays.
        EXPECT_EQ(editText(form, "sChgAreaDir1Edit"),
                  std::string(c.edit) == "sChgAreaDir1Edit" ? c.text : path("in1/*.pdf"));
    }
}

TEST_F(SetAutoParTest, ProgramNamesMatchInAnyLetterCase) {
    std::filesystem::create_directories(path("caps"));
    writeFile(path("caps/SANDREL"), "");
    writeFile(path("caps/ToLvAnE"), "");
    fillValid();
    setEdit(form, "SandrelExeEdit", path("caps/SANDREL"));
    setEdit(form, "TolvaneExeEdit", path("caps/ToLvAnE"));
    click(form, "ButtonOK");
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(settings.sSandrelExe, path("caps/SANDREL"));
    EXPECT_EQ(settings.sTolvaneExe, path("caps/ToLvAnE"));
}

TEST_F(SetAutoParTest, OtherListsDecideTheKindOfComparisonFile1) {
    settings.sPdfFileExt = "";
    settings.sImageFileExt = "tif;pdf";
    fillValid();
    setEdit(form, "sChgAreaDir1Edit", path("in1/*.p21"));
    click(form, "ButtonOK");
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(settings.sChgAreaDir1, path("in1/*.p21"));

    settings.sImageFileExt = "tif";
    settings.sDxfFileExt = "dxf;pdf";
    form.show();
    fillValid();
    click(form, "ButtonOK");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], warning(message(Msg::comparisonTypeRefused), path("in1/*.pdf")));
}

TEST_F(SetAutoParTest, ANormalisationStaysWhenALaterCheckFails) {
    fillValid();
    setEdit(form, "sChgAreaDir2Edit", path("in2/a.pdf"));
    setEdit(form, "sOutDirEdit", path("out/sub/"));
    click(form, "ButtonOK");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], warning(message(Msg::folderDoesNotExist), path("out/sub/")));
    EXPECT_EQ(editText(form, "sChgAreaDir2Edit"), path("in2/"));
    EXPECT_TRUE(settings.sChgAreaDir2.empty());
}

TEST_F(SetAutoParTest, OneFolderGivenTwiceIsRefusedHoweverSpelt) {
    std::filesystem::create_directory_symlink(path("in1"), path("link1"));
    struct Case {
        const char* edit;
        std::string text;
        Msg message;
        const char* shown;
    };
    const Case cases[] = {
        {"sOutDirEdit", path("in1/"), Msg::outputIsComparisonFolder, "sOutDirEdit"},
        {"sOutDirEdit", path("in2/../in2/"), Msg::outputIsComparisonFolder, "sOutDirEdit"},
        {"sOutDirEdit", path("link1/"), Msg::outputIsComparisonFolder, "sOutDirEdit"},
        {"sChgAreaDir2Edit", path("link1/"), Msg::folder2IsFolder1, "sChgAreaDir2Edit"},
        {"sChgAreaDir2Edit", path("out/../in1/"), Msg::folder2IsFolder1, "sChgAreaDir2Edit"},
    };
    for (const Case& c : cases) {
        warnings.clear();
        fillValid();
        setEdit(form, c.edit, c.text);
        click(form, "ButtonOK");
        ASSERT_EQ(warnings.size(), 1u) << c.text;
        EXPECT_EQ(warnings[0], warning(message(c.message), editText(form, c.shown)));
        EXPECT_TRUE(settings.sOutDir.empty());
    }
}

TEST_F(SetAutoParTest, FoldersInTheDataFolderOrWithAQuoteAreRefused) {
    settings.sDataDir = path("data");
    for (const char* folder : {"data/Temp1", "data/Temp3", "o\"ut"})
        std::filesystem::create_directories(path(folder));
    struct Case {
        const char* edit;
        std::string text;
        Msg message;
    };
    const Case cases[] = {
        {"sChgAreaDir1Edit", path("data/Temp1/*.pdf"), Msg::folderInDataFolder},
        {"sChgAreaDir2Edit", path("data/"), Msg::folderInDataFolder},
        {"sOutDirEdit", path("data/Temp3/"), Msg::folderInDataFolder},
        {"sOutDirEdit", path("o\"ut/"), Msg::folderHasQuote},
        {"sChgAreaDir2Edit", path("o\"ut/"), Msg::folderHasQuote},
    };
    for (const Case& c : cases) {
        warnings.clear();
        fillValid();
        setEdit(form, c.edit, c.text);
        click(form, "ButtonOK");
        ASSERT_EQ(warnings.size(), 1u) << c.text;
        EXPECT_EQ(warnings[0], warning(message(c.message), editText(form, c.edit)));
        EXPECT_TRUE(settings.sOutDir.empty());
    }
}

TEST_F(SetAutoParTest, CancelEscapeAndEnter) {
    const TSettings before = settings;
    fillValid();
    // No button reacts to Enter.
    QTest::keyClick(child(form, "sOutDirEdit"), Qt::Key_Return);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(warnings.empty());
    click(form, "ButtonCancel");
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_EQ(settings, before);

    form.show();
    EXPECT_EQ(editText(form, "SandrelExeEdit"), "");  // refilled from the settings
    fillValid();
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_EQ(settings, before);
}

TEST_F(SetAutoParTest, ReturnPressesTheFocusedButtonOnly) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    fillValid();
    // On "Input file extension" it opens that dialog.
    ModalDriver driver([&](QWidget* modal) {
        EXPECT_EQ(modal, &inputFileDlg);
        click(*modal, "CancelBtn");
    });
    auto* extensions = child<QPushButton>(form, "ButtonBatchFileExt");
    extensions->setFocus();
    QTest::keyClick(extensions, Qt::Key_Return);
    EXPECT_TRUE(driver.ran());
    EXPECT_TRUE(form.isVisible());
    // On OK it stores, as a click would.
    auto* ok = child<QPushButton>(form, "ButtonOK");
    ok->setFocus();
    QTest::keyClick(ok, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(settings.sOutDir, path("out/"));
    // No button became the default on the way.
    for (QPushButton* button : form.findChildren<QPushButton*>())
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
}

TEST_F(SetAutoParTest, HelpAsksForTopic401) {
    click(form, "ButtonHelp");
    EXPECT_EQ(helpContexts, std::vector<int>{401});
}

TEST_F(SetAutoParTest, LabelsAndCaption) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Set"));
    EXPECT_EQ(child<QLabel>(form, "Label2")->text(),
              QString::fromUtf8("Quessant attached Tolvane program name  :\n"
                                "(ex. /opt/Corvanta/Tolvane/tolvane\xEF\xBC\x89"));
    EXPECT_EQ(child<QLabel>(form, "Label3")->text(), QStringLiteral("Waiting time for output"));
    for (const char* button : {"ButtonBatchFileExt", "ButtonCancel", "ButtonOK", "ButtonHelp",
                               "Button2", "Button7", "Button4", "Button5", "Button3"}) {
        EXPECT_FALSE(child<QPushButton>(form, button)->autoDefault()) << button;
        EXPECT_FALSE(child<QPushButton>(form, button)->isDefault()) << button;
    }
}

TEST_F(SetAutoParTest, InputFileExtensionOpensItsDialogWhoseListsStayAfterCancel) {
    ModalDriver driver([&](QWidget* modal) {
        EXPECT_EQ(modal, &inputFileDlg);
        setEdit(*modal, "EditPdfFileExt", " pdf ; ai ");
        click(*modal, "OKBtn");
    });
    click(form, "ButtonBatchFileExt");
    EXPECT_TRUE(driver.ran());
    EXPECT_EQ(settings.sPdfFileExt, "pdf;ai");
    click(form, "ButtonCancel");
    EXPECT_EQ(settings.sPdfFileExt, "pdf;ai");
}

// One press of a folder "Reference" button: what the folder dialog must be
// handed, what the user chooses there (null: "Cancel"), and what the field
// holds afterwards.
struct FolderPick {
    const char* button;
    const char* edit;
    std::string handed;
    std::optional<std::string> chosen;
    std::string after;
};

TEST_F(SetAutoParTest, FolderReferencesByTheirRules) {
    const std::string cwd = QDir::currentPath().toStdString();
    setEdit(form, "sChgAreaDir1Edit", path("in1/plan.tif"));
    setEdit(form, "sChgAreaDir2Edit", path("in2/"));
    const FolderPick picks[] = {
        // Comparison file 1: the folder part is handed in; any pattern gives
        // way to "*.pdf"; the root gives a doubled separator.
        {"Button4", "sChgAreaDir1Edit", path("in1/"), path("in1"), path("in1/*.pdf")},
        {"Button4", "sChgAreaDir1Edit", path("in1/"), "/", "//*.pdf"},
        {"Button4", "sChgAreaDir1Edit", "//", std::nullopt, "//*.pdf"},
        // An emptied choice is no folder: the root would be made of it.
        {"Button4", "sChgAreaDir1Edit", "//", "", "//*.pdf"},
        // Comparison folder 2: the field as it stands; a separator always.
        {"Button5", "sChgAreaDir2Edit", path("in2/"), path("in2"), path("in2/")},
        {"Button5", "sChgAreaDir2Edit", path("in2/"), "/", "//"},
        {"Button5", "sChgAreaDir2Edit", "//", "", "//"},
        // Output folder: an empty field hands the current directory; a
        // separator only when missing; an emptied choice changes nothing.
        {"Button3", "sOutDirEdit", cwd, path("out"), path("out/")},
        {"Button3", "sOutDirEdit", path("out/"), "/", "/"},
        {"Button3", "sOutDirEdit", "/", "", "/"},
    };
    for (const FolderPick& pick : picks) {
        ModalDriver driver([&](QWidget* modal) {
            EXPECT_EQ(modal, &folderOpen);
            EXPECT_EQ(folderOpen.FolderName, pick.handed) << pick.button;
            if (!pick.chosen) {
                click(*modal, "ButtonCancel");
                return;
            }
            setEdit(*modal, "SelectFilename", *pick.chosen);
            click(*modal, "ButtonOK");
        });
        click(form, pick.button);
        EXPECT_TRUE(driver.ran());
        EXPECT_EQ(editText(form, pick.edit), pick.after) << pick.button;
    }
}

TEST_F(SetAutoParTest, ProgramReferenceStartsInTheFolderOfTheFieldWithTheProgramFilter) {
    std::vector<std::string> directories;
    form.setOpenDialogRunner([&](QFileDialog& dialog) {
        directories.push_back(dialog.directory().absolutePath().toStdString());
        EXPECT_EQ(dialog.nameFilters(), QStringList{QStringLiteral("Program file(*)")});
        // The file chosen the time before is forgotten.
        for (const QString& file : dialog.selectedFiles()) {
            EXPECT_FALSE(QFileInfo(file).isFile()) << file.toStdString();
        }
        dialog.selectFile(QString::fromStdString(path("bin/sandrel")));
        return directories.size() != 3;  // the third time the user cancels
    });
    // Empty field: the parent of the current directory.
    click(form, "Button2");
    EXPECT_EQ(editText(form, "SandrelExeEdit"), path("bin/sandrel"));
    std::filesystem::create_directories(path("in1/x"));
    setEdit(form, "TolvaneExeEdit", path("in1/x/"));
    QTest::mouseDClick(child(form, "TolvaneExeEdit"), Qt::LeftButton);
    EXPECT_EQ(editText(form, "TolvaneExeEdit"), path("bin/sandrel"));
    setEdit(form, "TolvaneExeEdit", path("in2/tolvane"));
    click(form, "Button7");
    EXPECT_EQ(editText(form, "TolvaneExeEdit"), path("in2/tolvane"));

    ASSERT_EQ(directories.size(), 3u);
    EXPECT_EQ(
        directories[0],
        QDir::cleanPath(QDir::current().absoluteFilePath(QStringLiteral(".."))).toStdString());
    EXPECT_EQ(directories[1], path("in1/x"));
    EXPECT_EQ(directories[2], path("in2"));
}

// What the program picker lists of a folder, as the user sees it.
QStringList listedNames(QFileDialog& dialog) {
    auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
    EXPECT_NE(view, nullptr);
    QStringList names;
    if (view == nullptr)
        return names;
    QAbstractItemModel* model = view->model();
    const QModelIndex folder = view->rootIndex();
    // The file system model reads the folder in the background.
    (void)QTest::qWaitFor([&] { return model->rowCount(folder) >= 4; }, 10000);
    QTest::qWait(200);  // anything late would show up now
    for (int row = 0; row < model->rowCount(folder); ++row)
        names << model->index(row, 0, folder).data().toString();
    names.sort();
    return names;
}

TEST_F(SetAutoParTest, ProgramPickerListsProgramsWithoutExtensionWritableOrNot) {
    namespace fs = std::filesystem;
    const std::string dir = path("programs");
    fs::create_directories(dir + "/sub");
    for (const char* name : {"sandrel", "tolvane", "notes.txt", "readonly-tool"})
        std::ofstream(dir + "/" + name) << "x";
    fs::permissions(dir + "/sandrel", fs::perms::owner_exec, fs::perm_options::add);
    fs::permissions(dir + "/tolvane", fs::perms::owner_exec, fs::perm_options::add);
    // Installed programs are not the user's to write.
    fs::permissions(dir + "/readonly-tool", fs::perms::owner_read | fs::perms::owner_exec,
                    fs::perm_options::replace);
    QStringList listed;
    form.setOpenDialogRunner([&](QFileDialog& dialog) {
        dialog.show();
        listed = listedNames(dialog);
        dialog.hide();
        return false;
    });
    setEdit(form, "SandrelExeEdit", dir + "/sandrel");
    click(form, "Button2");
    for (const char* shown : {"readonly-tool", "sandrel", "sub", "tolvane"})
        EXPECT_TRUE(listed.contains(QString::fromLatin1(shown))) << shown;
}

}  // namespace
}  // namespace mervik::test

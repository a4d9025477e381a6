#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QStyle>
#include <QTreeWidget>
#include <filesystem>

#include "dialogs/folder_tree.h"
#include "tests/dialogs/dialog_test_support.h"

namespace mervik::test {
namespace {

// Restores the process's current directory, which some tests move.
class CurrentDirectory {
  public:
    CurrentDirectory() : saved_(QDir::currentPath()) {}
    ~CurrentDirectory() { QDir::setCurrent(saved_); }

  private:
    QString saved_;
};

class FolderOpenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* folder :
             {"home/Desktop/d1", "HpglData/OutData/b", "HpglData/InData1", "HpglData/.hidden",
              "HpglData/apple", "HpglData/Zebra", "HpglData/beta"}) {
            std::filesystem::create_directories(root / folder);
        }
        writeFile(root / "HpglData/file.txt", "");
        FolderPlaces places;
        places.home = qs(root / "home");
        places.desktop = qs(root / "home/Desktop");
        places.volumes = {qs(root / "HpglData")};
        view().setPlaces(places);
        view().setFailureHook([this](const QString& text) { failures << text; });
    }

    FolderView& view() { return dialog.folderView(); }
    ComboView& combo() { return *dialog.findChild<ComboView*>(QStringLiteral("ComboView1")); }
    std::string shownPath() { return editText(dialog, "SelectFilename"); }
    std::vector<std::string> childNames(QTreeWidgetItem* item) {
        std::vector<std::string> names;
        for (int i = 0; i < item->childCount(); ++i) {
            names.push_back(item->child(i)->text(0).toStdString());
        }
        return names;
    }
    QTreeWidgetItem* nodeOf(const std::string& p) {
        view().SelectPath(qs(p));
        return view().currentItem();
    }

    CurrentDirectory cwd;
    TempRoot root;
    TFolderOpenForm dialog;
    QStringList failures;
};

TEST_F(FolderOpenTest, ShowingSelectsFolderNameAndOpenReturnsItsPath) {
    dialog.FolderName = root / "HpglData/OutData/";
    dialog.show();
    EXPECT_EQ(shownPath(), root / "HpglData/OutData");
    EXPECT_EQ(view().currentItem()->text(0), QStringLiteral("OutData"));
    click(dialog, "ButtonOK");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.FolderName, root / "HpglData/OutData");

    dialog.FolderName = "/";
    dialog.show();
    EXPECT_EQ(shownPath(), "/");
    click(dialog, "ButtonOK");
    EXPECT_EQ(dialog.FolderName, "/");
}

TEST_F(FolderOpenTest, AnEmptyFolderNameOpensAtTheCurrentDirectory) {
    ASSERT_TRUE(QDir::setCurrent(qs(root / "HpglData/InData1")));
    dialog.FolderName.clear();
    dialog.show();
    EXPECT_EQ(shownPath(), root / "HpglData/InData1");
}

TEST_F(FolderOpenTest, AMissingFolderKeepsThePreviousSelection) {
    dialog.FolderName = root / "HpglData/beta";
    dialog.show();
    dialog.hide();
    dialog.FolderName = root / "HpglData/none";
    dialog.show();
    EXPECT_EQ(shownPath(), root / "HpglData/beta");
    // A file is no folder either.
    view().SelectPath(qs(root / "HpglData/file.txt"));
    EXPECT_EQ(shownPath(), root / "HpglData/beta");
}

TEST_F(FolderOpenTest, ToUpperMovesToTheParentAndLeavesTheCurrentDirectory) {
    ASSERT_TRUE(QDir::setCurrent(qs(root / "home")));
    dialog.FolderName = root / "HpglData/OutData";
    dialog.show();
    click(dialog, "BitBtn1");
    EXPECT_EQ(shownPath(), root / "HpglData");
    EXPECT_EQ(QDir::currentPath().toStdString(), root / "home");

    dialog.hide();
    dialog.FolderName = "/";
    dialog.show();
    click(dialog, "BitBtn1");
    EXPECT_EQ(shownPath(), "/");
    EXPECT_EQ(view().currentItem(), view().rootNode());
    EXPECT_EQ(QDir::currentPath().toStdString(), root / "home");

    // Nothing selected: nothing changes.
    view().setCurrentItem(nullptr);
    click(dialog, "BitBtn1");
    EXPECT_EQ(shownPath(), "");
    EXPECT_EQ(QDir::currentPath().toStdString(), root / "home");
}

TEST_F(FolderOpenTest, CancelLeavesFolderNameAsSet) {
    dialog.FolderName = root / "HpglData";
    dialog.show();
    view().SelectPath(qs(root / "HpglData/OutData"));
    EXPECT_EQ(shownPath(), root / "HpglData/OutData");
    click(dialog, "ButtonCancel");
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(dialog.FolderName, root / "HpglData");

    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(dialog.FolderName, root / "HpglData");
}

TEST_F(FolderOpenTest, TheTypedTextIsReturnedUncheckedAndEnterOpens) {
    dialog.FolderName = root / "HpglData";
    dialog.show();
    setEdit(dialog, "SelectFilename", "no such / folder ");
    QTest::keyClick(child(dialog, "SelectFilename"), Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.FolderName, "no such / folder ");
    dialog.show();
    child(dialog, "SelectFilename")->clear();
    click(dialog, "ButtonOK");
    EXPECT_EQ(dialog.FolderName, "");
}

TEST_F(FolderOpenTest, TheTreeShowsFoldersOnlySortedWithHiddenOnes) {
    QTreeWidgetItem* data = nodeOf(root / "HpglData");
    ASSERT_NE(data, nullptr);
    data->setExpanded(true);
    EXPECT_EQ(childNames(data), (std::vector<std::string>{".hidden", "apple", "beta", "InData1",
                                                          "OutData", "Zebra"}));
    // Expand buttons only where there are subfolders.
    for (int i = 0; i < data->childCount(); ++i) {
        const bool hasSub = data->child(i)->text(0) == u"OutData";
        EXPECT_EQ(data->child(i)->childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator, hasSub)
            << data->child(i)->text(0).toStdString();
    }
    // The top node stands for the desktop; below it home, desktop, root.
    QTreeWidgetItem* top = view().topNode();
    EXPECT_EQ(top->childCount(), 3);
    EXPECT_EQ(view().pathOf(view().homeNode()).toStdString(), root / "home");
    view().setCurrentItem(top);
    EXPECT_EQ(shownPath(), root / "home/Desktop");
    view().setCurrentItem(view().homeNode());
    EXPECT_EQ(shownPath(), root / "home");
}

TEST_F(FolderOpenTest, TheOpenFolderIconFollowsTheSelection) {
    auto image = [](const QIcon& icon) { return icon.pixmap(16).toImage(); };
    const QImage open = image(dialog.style()->standardIcon(QStyle::SP_DirOpenIcon));
    QTreeWidgetItem* apple = nodeOf(root / "HpglData/apple");
    EXPECT_EQ(image(apple->icon(0)), open);
    QTreeWidgetItem* beta = nodeOf(root / "HpglData/beta");
    EXPECT_EQ(image(beta->icon(0)), open);
    EXPECT_NE(image(apple->icon(0)), open);
}

TEST_F(FolderOpenTest, TheAddressBoxListsTheFixedPlacesAndTheChain) {
    dialog.show();
    EXPECT_EQ(combo().maxVisibleItems(), 8);
    view().SelectPath(qs(root / "HpglData/OutData/b"));
    // The chain from the root down is listed under the root, each entry one
    // level deeper, and the selected folder is current.
    const int current = combo().currentIndex();
    ASSERT_GE(current, 0);
    EXPECT_EQ(combo().pathAt(current).toStdString(), root / "HpglData/OutData/b");
    EXPECT_EQ(combo().itemText(current), QStringLiteral("b"));
    const int depth = static_cast<int>(view().chainOf(view().currentItem()).size()) - 1;
    EXPECT_EQ(combo().levelAt(current), depth);
    EXPECT_EQ(combo().levelAt(0), 0);
    EXPECT_EQ(combo().pathAt(3), QStringLiteral("/"));
    // Row 4 is the mounted volume, a fixed entry at level 2; the chain
    // below "/" follows it.
    EXPECT_EQ(combo().pathAt(4).toStdString(), root / "HpglData");
    EXPECT_EQ(combo().levelAt(4), 2);
    for (int row = 5; row <= current; ++row) {
        EXPECT_EQ(combo().levelAt(row), row - 3) << row;
    }
    EXPECT_EQ(combo().count(), 5 + depth - 1);

    // Another selection drops the entries of the previous chain.
    view().setCurrentItem(view().homeNode());
    EXPECT_EQ(combo().count(), 5);
    EXPECT_EQ(combo().currentIndex(), 1);

    // Choosing an entry selects it in the tree and so fills the edit.
    view().SelectPath(qs(root / "HpglData/apple"));
    const int desktopRow = 2;
    combo().activated(desktopRow);
    EXPECT_EQ(view().currentItem(), view().desktopNode());
    EXPECT_EQ(shownPath(), root / "home/Desktop");
    combo().activated(0);
    EXPECT_EQ(view().currentItem(), view().topNode());
    EXPECT_EQ(combo().currentIndex(), 0);
}

TEST_F(FolderOpenTest, RenameNewFolderAndTrashWorkOnTheFileSystem) {
    QTreeWidgetItem* apple = nodeOf(root / "HpglData/apple");
    ASSERT_TRUE(view().renameFolder(apple, QStringLiteral("cherry")));
    EXPECT_TRUE(std::filesystem::is_directory(root / "HpglData/cherry"));
    EXPECT_FALSE(std::filesystem::exists(root / "HpglData/apple"));
    EXPECT_EQ(apple->text(0), QStringLiteral("cherry"));
    EXPECT_EQ(shownPath(), root / "HpglData/cherry");

    // A name that is taken is refused with a message, and nothing moves.
    EXPECT_FALSE(view().renameFolder(apple, QStringLiteral("beta")));
    EXPECT_EQ(failures.size(), 1);
    EXPECT_TRUE(std::filesystem::is_directory(root / "HpglData/cherry"));
    EXPECT_EQ(apple->text(0), QStringLiteral("cherry"));

    // In-place editing goes through the same rename; a selection below the
    // renamed folder moves up to it.
    std::filesystem::create_directories(root / "HpglData/cherry/inner");
    nodeOf(root / "HpglData/cherry/inner");
    apple->setText(0, QStringLiteral("date"));
    EXPECT_TRUE(std::filesystem::is_directory(root / "HpglData/date"));
    EXPECT_EQ(view().currentItem(), apple);
    EXPECT_EQ(shownPath(), root / "HpglData/date");
    // A name the file system refuses puts the old name back.
    apple->setText(0, QStringLiteral("a/b"));
    EXPECT_EQ(apple->text(0), QStringLiteral("date"));
    EXPECT_EQ(failures.size(), 2);

    QTreeWidgetItem* made = view().newFolder(apple);
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(std::filesystem::is_directory(root / "HpglData/date/New folder"));
    EXPECT_EQ(shownPath(), root / "HpglData/date/New folder");
    EXPECT_NE(view().newFolder(apple), nullptr);
    EXPECT_TRUE(std::filesystem::is_directory(root / "HpglData/date/New folder (2)"));

    view().setCurrentItem(made);
    view().moveToTrash(made);
    EXPECT_FALSE(std::filesystem::exists(root / "HpglData/date/New folder"));
    EXPECT_EQ(shownPath(), root / "HpglData/date");
    EXPECT_TRUE(std::filesystem::exists(root / "home/.local/share/Trash/files/New folder"));

    // The places themselves are not renamed or trashed.
    EXPECT_FALSE(view().renameFolder(view().homeNode(), QStringLiteral("x")));
    view().moveToTrash(view().rootNode());
    EXPECT_TRUE(std::filesystem::is_directory(root / "home"));
}

TEST_F(FolderOpenTest, FormLayoutAsDefined) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Selection of folder"));
    EXPECT_EQ(child<QLabel>(dialog, "Panel1")->text(), QStringLiteral(" Folder"));
    EXPECT_TRUE(child<QPushButton>(dialog, "ButtonOK")->isDefault());
    EXPECT_EQ(view().indentation(), 19);
    QWidget* widget = child<QWidget>(dialog, "ButtonOK");
    std::vector<std::string> order;
    for (int i = 0; i < 6; ++i) {
        order.push_back(widget->objectName().toStdString());
        do {
            widget = widget->nextInFocusChain();
        } while (!(widget->focusPolicy() & Qt::TabFocus) || widget->objectName().isEmpty());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"ButtonOK", "ButtonCancel", "SelectFilename",
                                               "ComboView1", "FolderView1", "BitBtn1"}));
}

}  // namespace
}  // namespace mervik::test

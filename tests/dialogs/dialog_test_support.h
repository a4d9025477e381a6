// What the dialog tests share: a temporary home, the three dialogs wired as
// the program wires them, and a driver for the modal dialogs they open.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/FolderOpen.h"
#include "dialogs/SetAutoPar.h"
#include "dialogs/SetInputFile.h"
#include "settings/Tolvane1.h"
#include "tests/platform/support/temp_root.h"

namespace mervik::test {

// Runs action on the next modal dialog that opens while the caller sits in a
// modal loop (exec, QMessageBox). The action must close that dialog. A
// dialog that never opens fails the test; one left open is rejected, so a
// faulty test cannot hang.
class ModalDriver {
  public:
    explicit ModalDriver(std::function<void(QWidget*)> action);
    ~ModalDriver();
    ModalDriver(const ModalDriver&) = delete;
    ModalDriver& operator=(const ModalDriver&) = delete;

    bool ran() const { return ran_; }

  private:
    std::function<void(QWidget*)> action_;
    QWidget* before_ = nullptr;
    bool ran_ = false;
    int timerId_ = 0;
    class Watcher;
    Watcher* watcher_ = nullptr;
};

template <typename T = QLineEdit>
T* child(QWidget& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

inline QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

void setEdit(QWidget& parent, const char* name, const std::string& text);
std::string editText(QWidget& parent, const char* name);
void click(QWidget& parent, const char* button);

// A new user's machine for a first comparison, under root: the stand-in
// sibling program installed as Corvanta/Sandrel/sandrel and
// Corvanta/Tolvane/tolvane, the folders HpglData/InData1, InData2 and
// OutData, an Init folder with the default parameter file, and the pair
// pairName in folders 1 and 2. Warnings are caught in warnings.
struct FirstComparison {
    FirstComparison(const TempRoot& root, const std::string& pairName);
    ~FirstComparison();
    FirstComparison(const FirstComparison&) = delete;
    FirstComparison& operator=(const FirstComparison&) = delete;

    // The parameter file the settings entered must give at the end.
    std::string parFileFor(const std::string& pdfList, int waitSeconds,
                           const std::string& pattern) const;

    std::string sandrel, tolvane, in1, in2, out, init, localAppData;
    std::vector<std::string> warnings;
};

// Presses button of form, whose folder dialog then picks folder in its tree,
// as a click would, and opens it.
void pickFolder(QWidget& form, const char* button, TFolderOpenForm& dialog,
                const std::string& folder);

// The settings dialog with its two helpers, the warnings caught.
class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Sandrel and Tolvane files, folders in1, in2 and out under the root.
    std::string path(const std::string& tail) const { return root / tail; }
    // The three-line warning for message and field text.
    static std::string warning(std::string_view message, const std::string& field);
    // Fills every field with values that pass the checks.
    void fillValid();

    TempRoot root;
    TSettings settings;
    std::vector<std::string> warnings;
    std::vector<int> helpContexts;
    TFolderOpenForm folderOpen;
    TSetinputFileDlg inputFileDlg{settings};
    TSetAutoParForm form{settings, folderOpen, inputFileDlg,
                         [this](int context) { helpContexts.push_back(context); }};
};

}  // namespace mervik::test

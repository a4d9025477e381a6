// The settings dialog "Set": sibling executables, comparison inputs, output
// folder and waiting time, checked on OK before anything is stored.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "settings/Tolvane1.h"

class QFileDialog;
class QLineEdit;
class TFolderOpenForm;
class TSetinputFileDlg;

namespace Ui {
class SetAutoParForm;
}

class TSetAutoParForm : public QDialog {
    Q_OBJECT

  public:
    TSetAutoParForm(mervik::TSettings& settings, TFolderOpenForm& folderOpen,
                    TSetinputFileDlg& inputFileDlg, std::function<void(int)> showHelpContext,
                    QWidget* parent = nullptr);
    ~TSetAutoParForm() override;

    // Runs OpenDialog1 modally; true when the user chose a file. Replaceable
    // so that tests can look at the dialog's set-up and answer it.
    using OpenDialogRunner = std::function<bool(QFileDialog&)>;
    void setOpenDialogRunner(OpenDialogRunner runner);

    void FormShow();
    void ButtonOKClick();
    void ButtonCancelClick();
    void ButtonHelpClick();
    void ButtonBatchFileExtClick();
    void Button2Click();
    void SandrelExeEditDblClick();
    void Button7Click();
    void TolvaneExeEditDblClick();
    void Button4Click();
    void Button5Click();
    void Button3Click();

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void chooseProgram(QLineEdit* edit);
    bool chooseFolder(const std::string& initial);
    int waitMinutes();

    mervik::TSettings& settings_;
    TFolderOpenForm& folderOpen_;
    TSetinputFileDlg& inputFileDlg_;
    std::function<void(int)> showHelpContext_;
    std::unique_ptr<Ui::SetAutoParForm> ui;
    QFileDialog* OpenDialog1 = nullptr;  // made afresh for each use, owned by the form
    OpenDialogRunner openDialogRunner_;
};

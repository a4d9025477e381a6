// The folder selection dialog: a folder tree with an address box above it and
// the chosen path in an edit below it. It checks nothing; callers do.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

namespace mervik {
class FolderView;
}

namespace Ui {
class FolderOpenForm;
}

class TFolderOpenForm : public QDialog {
    Q_OBJECT

  public:
    explicit TFolderOpenForm(QWidget* parent = nullptr);
    ~TFolderOpenForm() override;

    // In: the initial folder. Out, after "Open": the edit's text as it stands.
    std::string FolderName;

    void FormShow();
    void FolderView1Change();
    void BitBtn1Click();
    void ButtonOKClick();
    void ButtonCancelClick();

    // The folder tree, for callers that point it at other places (tests).
    mervik::FolderView& folderView();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    std::unique_ptr<Ui::FolderOpenForm> ui;
};

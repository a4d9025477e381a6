// The input file extension dialog: edits the eight editable extension lists.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "settings/Tolvane1.h"

namespace Ui {
class SetinputFileDlg;
}

class TSetinputFileDlg : public QDialog {
    Q_OBJECT

  public:
    explicit TSetinputFileDlg(mervik::TSettings& settings, QWidget* parent = nullptr);
    ~TSetinputFileDlg() override;

    void FormShow();
    void OKBtnClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    mervik::TSettings& settings_;
    std::unique_ptr<Ui::SetinputFileDlg> ui;
};

// text without any blank (code 32); tabs and letter case stay.
std::string RemoveBlanks(const std::string& text);

#include "dialogs/SetInputFile.h"

#include <QLineEdit>

#include "dialogs/dialog_support.h"
#include "ui_SetInputFile.h"

std::string RemoveBlanks(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        if (c != ' ') {
            result += c;
        }
    }
    return result;
}

TSetinputFileDlg::TSetinputFileDlg(mervik::TSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings), ui(std::make_unique<Ui::SetinputFileDlg>()) {
    ui->setupUi(this);
    mervik::fixDialogFrame(this);
    mervik::pressFocusedButtonOnReturn(this);
    setFont(mervik::pixelFont(QStringLiteral("Courier New"), 12));
    ui->GroupBox1->setFont(mervik::pixelFont(QStringLiteral("Courier New"), 15));
    // The group box's larger font is for its caption only.
    const QFont inner = mervik::pixelFont(QStringLiteral("Courier New"), 12);
    for (QWidget* child : ui->GroupBox1->findChildren<QWidget*>()) {
        child->setFont(inner);
    }
    ui->Label10->setFont(mervik::pixelFont(QStringLiteral("Courier New"), 13));
    ui->Label11->setFont(mervik::pixelFont(QStringLiteral("Courier New"), 13));
    connect(ui->OKBtn, &QPushButton::clicked, this, &TSetinputFileDlg::OKBtnClick);
    connect(ui->CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

TSetinputFileDlg::~TSetinputFileDlg() = default;

void TSetinputFileDlg::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TSetinputFileDlg::FormShow() {
    using mervik::toQt;
    ui->EditHpglFileExt->setText(toQt(settings_.sHpglFileExt));
    ui->EditImageFileExt->setText(toQt(settings_.sImageFileExt));
    ui->EditPdfFileExt->setText(toQt(settings_.sPdfFileExt));
    ui->EditEmfFileExt->setText(toQt(settings_.sEmfFileExt));
    ui->EditDxfFileExt->setText(toQt(settings_.sDxfFileExt));
    ui->EditDwgFileExt->setText(toQt(settings_.sDwgFileExt));
    ui->EditIgesFileExt->setText(toQt(settings_.sIgesFileExt));
    ui->EditGerberFileExt->setText(toQt(settings_.sGerberFileExt));
}

void TSetinputFileDlg::OKBtnClick() {
    auto take = [](const QLineEdit* edit) { return RemoveBlanks(mervik::fromQt(edit->text())); };
    settings_.sHpglFileExt = take(ui->EditHpglFileExt);
    settings_.sImageFileExt = take(ui->EditImageFileExt);
    settings_.sPdfFileExt = take(ui->EditPdfFileExt);
    settings_.sEmfFileExt = take(ui->EditEmfFileExt);
    settings_.sDxfFileExt = take(ui->EditDxfFileExt);
    settings_.sDwgFileExt = take(ui->EditDwgFileExt);
    settings_.sIgesFileExt = take(ui->EditIgesFileExt);
    settings_.sGerberFileExt = take(ui->EditGerberFileExt);
    accept();
}

#include "dialogs/FolderOpen.h"

#include <QDir>
#include <QStyle>

#include "dialogs/dialog_support.h"
#include "dialogs/folder_tree.h"
#include "ui_FolderOpen.h"

TFolderOpenForm::TFolderOpenForm(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::FolderOpenForm>()) {
    ui->setupUi(this);
    mervik::fixDialogFrame(this);
    mervik::pressFocusedButtonOnReturn(this);
    setFont(mervik::pixelFont(QStringLiteral("Arial"), 12));
    ui->BitBtn1->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    ui->FolderView1->setPlaces(mervik::FolderPlaces::fromSystem());
    ui->ComboView1->setFolderView(ui->FolderView1);

    connect(ui->FolderView1, &mervik::FolderView::selectionChanged, this,
            &TFolderOpenForm::FolderView1Change);
    connect(ui->BitBtn1, &QPushButton::clicked, this, &TFolderOpenForm::BitBtn1Click);
    connect(ui->ButtonOK, &QPushButton::clicked, this, &TFolderOpenForm::ButtonOKClick);
    connect(ui->ButtonCancel, &QPushButton::clicked, this, &TFolderOpenForm::ButtonCancelClick);
}

TFolderOpenForm::~TFolderOpenForm() = default;

mervik::FolderView& TFolderOpenForm::folderView() {
    return *ui->FolderView1;
}

void TFolderOpenForm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TFolderOpenForm::FormShow() {
    const QString start = FolderName.empty() ? QDir::currentPath() : mervik::toQt(FolderName);
    ui->FolderView1->SelectPath(start);
    ui->SelectFilename->setText(ui->FolderView1->SelectedPath());
}

void TFolderOpenForm::FolderView1Change() {
    ui->SelectFilename->setText(ui->FolderView1->SelectedPath());
}

void TFolderOpenForm::BitBtn1Click() {
    const QString remembered = QDir::currentPath();
    const QString selected = ui->FolderView1->SelectedPath();
    if (selected.isEmpty() || !QDir::setCurrent(selected)) {
        return;
    }
    // The root's ".." is the root itself, so the selection stays there.
    if (QDir::setCurrent(QStringLiteral(".."))) {
        ui->FolderView1->SelectPath(QDir::currentPath());
    }
    QDir::setCurrent(remembered);
}

void TFolderOpenForm::ButtonOKClick() {
    FolderName = mervik::fromQt(ui->SelectFilename->text());
    accept();
}

void TFolderOpenForm::ButtonCancelClick() {
    reject();
}

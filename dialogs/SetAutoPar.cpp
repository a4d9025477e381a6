#include "dialogs/SetAutoPar.h"

#include <algorithm>

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSpinBox>
#include <filesystem>
#include <system_error>

#include "automation/run_folders.h"
#include "dialogs/FolderOpen.h"
#include "dialogs/SetInputFile.h"
#include "dialogs/dialog_support.h"
#include "platform/file_identity.h"
#include "platform/install_layout.h"
#include "ui_SetAutoPar.h"

using mervik::fromQt;
using mervik::toQt;

namespace {

constexpr int kHelpContext = 401;
constexpr int kMaxMinutes = 1440;
// A waiting time of 0 minutes still leaves one tick of the two-second timer.
constexpr std::int32_t kZeroMinutesSeconds = 2;

bool isExistingFile(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

// The executable name test: the file-name part in lower case against the
// program's name with the platform's executable suffix.
bool namesProgram(const std::string& path, const char* baseName) {
    return isExistingFile(path) &&
           mervik::asciiLower(mervik::fileNamePart(path)) == baseName + mervik::executableSuffix();
}

std::string separator() {
    return std::string(1, mervik::PathStyle::native().separator);
}

std::string currentDirectory() {
    return fromQt(QDir::currentPath());
}

std::string textOrCurrentDirectory(const QLineEdit* edit) {
    std::string text = fromQt(edit->text());
    return text.empty() ? currentDirectory() : text;
}

QString programFilter() {
    const std::string suffix = mervik::executableSuffix();
    // On POSIX a program has no suffix to filter by: every name is listed.
    return suffix.empty() ? QStringLiteral("Program file(*)")
                          : QStringLiteral("Program file(*%1)").arg(toQt(suffix));
}

}  // namespace

TSetAutoParForm::TSetAutoParForm(mervik::TSettings& settings, TFolderOpenForm& folderOpen,
                                 TSetinputFileDlg& inputFileDlg,
                                 std::function<void(int)> showHelpContext, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      folderOpen_(folderOpen),
      inputFileDlg_(inputFileDlg),
      showHelpContext_(std::move(showHelpContext)),
      ui(std::make_unique<Ui::SetAutoParForm>()) {
    ui->setupUi(this);
    mervik::fixDialogFrame(this);
    mervik::pressFocusedButtonOnReturn(this);
    setFont(mervik::pixelFont(QStringLiteral("Calibri"), 15));
    ui->WaitTimeEdit->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);

    openDialogRunner_ = [](QFileDialog& dialog) { return dialog.exec() == QDialog::Accepted; };

    connect(ui->ButtonOK, &QPushButton::clicked, this, &TSetAutoParForm::ButtonOKClick);
    connect(ui->ButtonCancel, &QPushButton::clicked, this, &TSetAutoParForm::ButtonCancelClick);
    connect(ui->ButtonHelp, &QPushButton::clicked, this, &TSetAutoParForm::ButtonHelpClick);
    connect(ui->ButtonBatchFileExt, &QPushButton::clicked, this,
            &TSetAutoParForm::ButtonBatchFileExtClick);
    connect(ui->Button2, &QPushButton::clicked, this, &TSetAutoParForm::Button2Click);
    connect(ui->Button7, &QPushButton::clicked, this, &TSetAutoParForm::Button7Click);
    connect(ui->Button4, &QPushButton::clicked, this, &TSetAutoParForm::Button4Click);
    connect(ui->Button5, &QPushButton::clicked, this, &TSetAutoParForm::Button5Click);
    connect(ui->Button3, &QPushButton::clicked, this, &TSetAutoParForm::Button3Click);
    ui->SandrelExeEdit->installEventFilter(this);
    ui->TolvaneExeEdit->installEventFilter(this);
}

TSetAutoParForm::~TSetAutoParForm() = default;

void TSetAutoParForm::setOpenDialogRunner(OpenDialogRunner runner) {
    openDialogRunner_ = std::move(runner);
}

bool TSetAutoParForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == ui->SandrelExeEdit) {
            SandrelExeEditDblClick();
            return true;
        }
        if (watched == ui->TolvaneExeEdit) {
            TolvaneExeEditDblClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TSetAutoParForm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TSetAutoParForm::FormShow() {
    ui->SandrelExeEdit->setText(toQt(settings_.sSandrelExe));
    ui->TolvaneExeEdit->setText(toQt(settings_.sTolvaneExe));
    ui->sChgAreaDir1Edit->setText(toQt(settings_.sChgAreaDir1));
    ui->sChgAreaDir2Edit->setText(toQt(settings_.sChgAreaDir2));
    ui->sOutDirEdit->setText(toQt(settings_.sOutDir));
    ui->WaitTimeEdit->setValue(settings_.iWaitTime / 60);
}

void TSetAutoParForm::ButtonOKClick() {
    using mervik::Msg;
    auto warn = [](Msg message, const QLineEdit* edit) {
        mervik::ShowWarning(std::string(mervik::message(message)) + '\r' + fromQt(edit->text()) +
                            '\r' + std::string(mervik::message(Msg::registerWithSet)));
    };

    const std::string sandrel = fromQt(ui->SandrelExeEdit->text());
    if (!namesProgram(sandrel, "sandrel")) {
        warn(Msg::fileDoesNotExist, ui->SandrelExeEdit);
        return;
    }
    const std::string tolvane = fromQt(ui->TolvaneExeEdit->text());
    if (!namesProgram(tolvane, "tolvane")) {
        warn(Msg::fileDoesNotExist, ui->TolvaneExeEdit);
        return;
    }
    std::string folder1 = fromQt(ui->sChgAreaDir1Edit->text());
    if (!mervik::CheckPathFolder(folder1)) {
        warn(Msg::folderDoesNotExist, ui->sChgAreaDir1Edit);
        return;
    }
    std::string folder2 = fromQt(ui->sChgAreaDir2Edit->text());
    if (!mervik::CheckFolderSetting(folder2)) {
        warn(Msg::folderDoesNotExist, ui->sChgAreaDir2Edit);
        return;
    }
    ui->sChgAreaDir2Edit->setText(toQt(folder2));
    std::string outDir = fromQt(ui->sOutDirEdit->text());
    if (!mervik::CheckFolderSetting(outDir)) {
        warn(Msg::folderDoesNotExist, ui->sOutDirEdit);
        return;
    }
    ui->sOutDirEdit->setText(toQt(outDir));
    const std::string file1 = fromQt(ui->sChgAreaDir1Edit->text());
    switch (mervik::GetInputFileType(file1, settings_)) {
        case mervik::ftHpgl:
        case mervik::ftImage:
        case mervik::ftPdf:
        case mervik::ftSxf:
            break;
        default:
            warn(Msg::comparisonTypeRefused, ui->sChgAreaDir1Edit);
            return;
    }
    // The same checks as the start of standby: a result written into an input
    // folder would be deleted with the inputs, folder 2 equal to folder 1
    // compares every file with itself before deleting it, and a folder inside
    // the data folder is emptied with the work folders.
    if (const auto fault = mervik::runFolderFault(folder1, folder2, outDir, settings_.sDataDir)) {
        const QLineEdit* field = fault->folder == outDir    ? ui->sOutDirEdit
                                 : fault->folder == folder2 ? ui->sChgAreaDir2Edit
                                                            : ui->sChgAreaDir1Edit;
        warn(fault->message, field);
        return;
    }

    settings_.sSandrelExe = sandrel;
    settings_.sTolvaneExe = tolvane;
    settings_.sChgAreaDir1 = file1;
    settings_.sChgAreaDir2 = folder2;
    settings_.sOutDir = outDir;
    const int minutes = waitMinutes();
    settings_.iWaitTime = minutes == 0 ? kZeroMinutesSeconds : minutes * 60;
    accept();
}

int TSetAutoParForm::waitMinutes() {
    // Whatever stands in the field counts, even before it lost the focus: not
    // a whole number reads as 0, a number out of range takes the nearer bound.
    bool ok = false;
    const qlonglong typed = ui->WaitTimeEdit->cleanText().toLongLong(&ok);
    const int minutes = !ok ? 0 : static_cast<int>(std::clamp<qlonglong>(typed, 0, kMaxMinutes));
    ui->WaitTimeEdit->setValue(minutes);
    return minutes;
}

void TSetAutoParForm::ButtonCancelClick() {
    reject();
}

void TSetAutoParForm::ButtonHelpClick() {
    if (showHelpContext_) {
        showHelpContext_(kHelpContext);
    }
}

void TSetAutoParForm::ButtonBatchFileExtClick() {
    inputFileDlg_.exec();
}

void TSetAutoParForm::chooseProgram(QLineEdit* edit) {
    // A fresh dialog each time: it holds no file name from an earlier use.
    delete OpenDialog1;
    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    // Our own dialog, so that the filters below apply as set.
    OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);
    const std::string start = textOrCurrentDirectory(edit);
    // The current directory has no closing separator, so this is its parent.
    OpenDialog1->setDirectory(toQt(mervik::folderPart(start)));
    OpenDialog1->setNameFilter(programFilter());
    // No permission filter: QDir's Executable, given alone, also hides every
    // file and folder that is readable or writable, which left the folder of
    // an installed program empty. The name filter lets any name through.
    OpenDialog1->setFilter(QDir::AllDirs | QDir::Files | QDir::Hidden | QDir::NoDot);
    if (!openDialogRunner_(*OpenDialog1)) {
        return;
    }
    const QStringList chosen = OpenDialog1->selectedFiles();
    if (!chosen.isEmpty()) {
        edit->setText(chosen.first());
    }
}

bool TSetAutoParForm::chooseFolder(const std::string& initial) {
    folderOpen_.FolderName = initial;
    // A cleared edit in the folder dialog names no folder; appending the
    // separator to it would make the file system root of it.
    return folderOpen_.exec() == QDialog::Accepted && !folderOpen_.FolderName.empty();
}

void TSetAutoParForm::Button2Click() {
    chooseProgram(ui->SandrelExeEdit);
}

void TSetAutoParForm::SandrelExeEditDblClick() {
    chooseProgram(ui->SandrelExeEdit);
}

void TSetAutoParForm::Button7Click() {
    chooseProgram(ui->TolvaneExeEdit);
}

void TSetAutoParForm::TolvaneExeEditDblClick() {
    chooseProgram(ui->TolvaneExeEdit);
}

void TSetAutoParForm::Button4Click() {
    if (chooseFolder(mervik::folderPart(textOrCurrentDirectory(ui->sChgAreaDir1Edit)))) {
        // Whatever pattern the field held gives way to the PDF pattern.
        ui->sChgAreaDir1Edit->setText(toQt(folderOpen_.FolderName + separator() + "*.pdf"));
    }
}

void TSetAutoParForm::Button5Click() {
    if (chooseFolder(textOrCurrentDirectory(ui->sChgAreaDir2Edit))) {
        ui->sChgAreaDir2Edit->setText(toQt(folderOpen_.FolderName + separator()));
    }
}

void TSetAutoParForm::Button3Click() {
    if (!chooseFolder(textOrCurrentDirectory(ui->sOutDirEdit))) {
        return;
    }
    const std::string& chosen = folderOpen_.FolderName;
    ui->sOutDirEdit->setText(toQt(chosen.back() == separator()[0] ? chosen : chosen + separator()));
}

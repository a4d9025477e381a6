// Pictures of the three settings dialogs for the user guide, filled with the
// values of a first comparison. Run by tools/screenshot-dialogs.sh under a
// virtual X server; writes set-dialog.png, input-extension-dialog.png and
// folder-dialog.png into the folder given as its argument.
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QTreeWidgetItem>
#include <cstdio>
#include <filesystem>
#include <string>

#include "dialogs/FolderOpen.h"
#include "dialogs/SetAutoPar.h"
#include "dialogs/SetInputFile.h"
#include "dialogs/folder_tree.h"
#include "settings/Tolvane1.h"

namespace {

bool save(QWidget& widget, const QString& file) {
    widget.show();
    widget.raise();
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
    }
    const bool ok = widget.grab().save(file);
    widget.hide();
    if (!ok) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    }
    return ok;
}

QTreeWidgetItem* childNamed(QTreeWidgetItem* parent, const QString& name) {
    for (int i = 0; i < parent->childCount(); ++i) {
        if (parent->child(i)->text(0) == name) {
            return parent->child(i);
        }
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    // A home of its own, so that the folder tree shows only example folders.
    std::string home = (std::filesystem::temp_directory_path() / "home-XXXXXX").string();
    if (::mkdtemp(home.data()) == nullptr) {
        return 1;
    }
    for (const char* folder :
         {"Desktop", "Documents", "HpglData/InData1", "HpglData/InData2", "HpglData/OutData"}) {
        std::filesystem::create_directories(home + "/" + folder);
    }
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);

    QApplication app(argc, argv);
    // The window definitions name the fonts of the original forms; these are
    // their metric-compatible stand-ins.
    QFont::insertSubstitution(QStringLiteral("Calibri"), QStringLiteral("Carlito"));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"));
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    mervik::TSettings settings;
    settings.sSandrelExe = "/opt/Corvanta/Sandrel/sandrel";
    settings.sTolvaneExe = "/opt/Corvanta/Tolvane/tolvane";
    settings.sChgAreaDir1 = home + "/HpglData/InData1/*.pdf";
    settings.sChgAreaDir2 = home + "/HpglData/InData2/";
    settings.sOutDir = home + "/HpglData/OutData/";
    settings.iWaitTime = 60;

    TFolderOpenForm folderOpen;
    TSetinputFileDlg inputFileDlg(settings);
    TSetAutoParForm form(settings, folderOpen, inputFileDlg, {});
    bool ok = save(form, out + QStringLiteral("/set-dialog.png"));
    ok = save(inputFileDlg, out + QStringLiteral("/input-extension-dialog.png")) && ok;

    // The output folder chosen through the home folder's node.
    mervik::FolderView& tree = folderOpen.folderView();
    QTreeWidgetItem* node = tree.homeNode();
    for (const char* name : {"HpglData", "OutData"}) {
        tree.readChildren(node);
        node->setExpanded(true);
        node = childNamed(node, QString::fromLatin1(name));
        if (node == nullptr) {
            return 1;
        }
    }
    folderOpen.FolderName = (home + "/HpglData/OutData").c_str();
    folderOpen.show();
    // Showing walked from the root; the picture shows the way through home.
    tree.rootNode()->setExpanded(false);
    tree.setCurrentItem(node);
    tree.scrollToItem(tree.topNode());
    ok = save(folderOpen, out + QStringLiteral("/folder-dialog.png")) && ok;

    std::filesystem::remove_all(home);
    return ok ? 0 : 1;
}

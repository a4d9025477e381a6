// mervik: the window program.

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/Tolvane3.h"
#include "app/TolvaneM.h"
#include "app/app_help.h"
#include "app/display_check.h"
#include "app/form_setup.h"
#include "app/warning_box.h"
#include "automation/program_start.h"
#include "dialogs/FolderOpen.h"
#include "dialogs/SetAutoPar.h"
#include "dialogs/SetInputFile.h"
#include "platform/instance_lock.h"
#include "platform/process_spawn.h"
#include "platform/stop_signals.h"
#include "settings/Tolvane1.h"
#include "shell/UnitShell.h"

int main(int argc, char** argv) {
    using namespace mervik;
    // Before the toolkit, which would abort with a text about its plug-ins.
    const std::string noDisplay =
        missingDisplay(chosenPlatform(argc, argv, std::getenv), std::getenv);
    if (!noDisplay.empty()) {
        std::fprintf(stderr, "%s\n", noDisplay.c_str());
        return kExitNoDisplay;
    }
    LoadFolderPathLibrary();
    const std::string localAppData = GetSpecialFolderPath(sfLocalAppData);
    // Another instance running: end at once, without a window or a word.
    InstanceLock lock;
    if (!takeSingleInstanceLock(lock, localAppData)) {
        FreeFolderPathLibrary();
        return 0;
    }

    auto startGuard = std::make_unique<StartupFailureGuard>();
    QApplication app(argc, argv);
    startGuard.reset();
    // The toolkit takes its own options (-platform, ...) out of argv; the rest
    // is the program's command line.
    std::vector<std::string> args(argv + 1, argv + argc);
    // No display name: the window system would append it to every caption,
    // and the main window's caption is fixed. The name serves the taskbar.
    QApplication::setApplicationName(QStringLiteral("Mervik"));
    QApplication::setDesktopFileName(QStringLiteral("mervik"));
    initResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/mervik-256.png")));
    // At once, so that a stop request from now on ends the program normally.
    const int stopFd = installStopSignals();
    registerFontSubstitutes();
    setWarningHook(showWarningBox);

    ApplicationHelp appHelp;
    appHelp.Title = "Mervik";
    appHelp.HelpFile = "Mervik.chm";
    appHelp.ExeFolder = executableFolder();
    if (!appHelp.ExeFolder.empty())
        appHelp.ExeFolder += '/';

    CoreEnvironment env;
    env.localAppData = localAppData;
    env.initFolder = initFolderOf(executableFolder());

    int status = 0;
    {
        // The five windows, alive until the end. The settings dialog is made
        // after the two dialogs it opens, as it is given them when it is made.
        TMervikMForm MervikMForm(Settings, env, args, appHelp);
        if (MervikMForm.dataFolderHeldByOther()) {
            FreeFolderPathLibrary();
            return 0;
        }
        TTolvane3Form Tolvane3Form;
        TFolderOpenForm FolderOpenForm;
        TSetinputFileDlg SetinputFileDlg(Settings);
        TSetAutoParForm SetAutoParForm(Settings, FolderOpenForm, SetinputFileDlg,
                                       [&appHelp](int context) { appHelp.HelpContext(context); });
        MervikMForm.setVersionForm(&Tolvane3Form);
        MervikMForm.setSettingsForm(&SetAutoParForm);

        // SIGTERM, SIGHUP (the session ends) and Ctrl-C end the program like
        // "End", so that the settings are saved and the siblings' files handed
        // back. A request made before this point waits in its descriptor.
        std::unique_ptr<QSocketNotifier> stopNotifier;
        if (stopFd >= 0) {
            stopNotifier = std::make_unique<QSocketNotifier>(stopFd, QSocketNotifier::Read);
            QSocketNotifier* notifier = stopNotifier.get();
            QObject::connect(notifier, &QSocketNotifier::activated, &MervikMForm,
                             [&MervikMForm, notifier] {
                                 // The descriptor stays readable: one request is enough.
                                 notifier->setEnabled(false);
                                 MervikMForm.requestEnd();
                             });
        }

        QObject::connect(&MervikMForm, &TMervikMForm::formClosed, &app, &QApplication::quit,
                         Qt::QueuedConnection);
        MervikMForm.show();
        centreOnScreen(&MervikMForm);
        status = app.exec();
        // The framework's last help request at shutdown; the handler ignores it.
        appHelp.HelpCommand(HELP_QUIT, 0);
    }
    FreeFolderPathLibrary();
    return status;
}

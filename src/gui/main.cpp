// runel-app: the tray app. "runel" execs it (same process, same environment) when the app must
// start; given a command name, it performs that command once it runs.

#include "InstanceCommand.h"
#include "LaunchAtLogin.h"
#include "XdgDirs.h"
#include "app/AppDelegate.h"
#include "app/InstanceServer.h"
#include "app/KeyMonitor.h"
#include "app/StatusItem.h"
#include "execution/LogStore.h"
#include "index/ScriptStore.h"
#include "platform/DesktopSystemServices.h"
#include "settings/ConfigManager.h"
#include "settings/SettingsWindow.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <cstdio>

using namespace Qt::StringLiterals;
using namespace runel;

int main(int argc, char *argv[])
{
    std::optional<InstanceCommand> command;
    if (argc > 1) {
        command = instanceCommandFromName(QString::fromLocal8Bit(argv[1]));
        if (argc > 2 || !command || *command == InstanceCommand::reopen) {
            std::fputs("Usage: runel-app [show|toggle|toggle-search|settings]\n"
                       "Starts the Runel app; 'runel' starts it for you.\n",
                stderr);
            return 2;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(u"runel"_s);
    QApplication::setApplicationDisplayName(u"Runel"_s);
    QApplication::setDesktopFileName(u"runel"_s);
    // The app lives in the tray: closing its last window does not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(gui::StatusItem::icon());

    gui::InstanceServer server;
    const InstanceRequest request { command.value_or(InstanceCommand::reopen),
        InstanceRequest::activationEnvironment() };
    const gui::InstanceServer::Start start = server.listen(request);
    if (start.outcome == gui::InstanceServer::Outcome::otherInstance)
        return 0; // that app was handed the command
    if (start.outcome == gui::InstanceServer::Outcome::failed) {
        std::fprintf(stderr, "runel: cannot start the app: %s\n", qPrintable(start.error));
        return 1;
    }

    gui::DesktopSystemServices services;
    ConfigManager &configManager = ConfigManager::shared();
    configManager.watchStore(); // edits of settings.json show up while the app runs
    gui::AppDelegate delegate(configManager, ScriptStore::shared(), LogStore::shared(), services);

    // The entry starts "runel", the command the user starts, not this program.
    LaunchAtLogin launchAtLogin(XdgDirs::autostartDir(),
        LaunchAtLogin::commandBesideApp(QCoreApplication::applicationFilePath()));
    // Made on first use and kept: closing only hides it.
    QPointer<gui::SettingsWindow> settingsWindow;
    delegate.setOpenSettingsAction([&] {
        if (!settingsWindow) {
            gui::SettingsContext context { configManager, ScriptStore::shared(), LogStore::shared(),
                services, launchAtLogin,
                [](const QString &, QWidget *parent) -> QWidget * {
                    auto *label = new QLabel(u"Set in your desktop's keyboard settings"_s, parent);
                    label->setEnabled(false);
                    return label;
                },
                [](const QString &) {} };
            settingsWindow = new gui::SettingsWindow(std::move(context));
            settingsWindow->setAttribute(Qt::WA_QuitOnClose, false);
        }
        settingsWindow->present();
    });

    gui::StatusItem statusItem(delegate);
    gui::KeyMonitor keyMonitor([&delegate](gui::KeyMonitor::Action action) {
        switch (action) {
        case gui::KeyMonitor::Action::openScriptsFolder:
            delegate.openScriptsFolder();
            break;
        case gui::KeyMonitor::Action::reloadScripts:
            delegate.reloadScripts();
            break;
        case gui::KeyMonitor::Action::openSettings:
            delegate.openSettings();
            break;
        case gui::KeyMonitor::Action::quit:
            delegate.quitApp();
            break;
        case gui::KeyMonitor::Action::none:
            break;
        }
    });
    app.installEventFilter(&keyMonitor);
    delegate.finishLaunching();

    QObject::connect(&server, &gui::InstanceServer::requestReceived, &delegate,
        [&delegate](const InstanceRequest &received) {
            // The token lets the HUD take the focus from the window the user was in.
            for (const QString &line : received.environment)
                qputenv(line.section(u'=', 0, 0).toLatin1().constData(),
                    line.section(u'=', 1).toUtf8());
            delegate.perform(received.command);
        });
    if (command)
        delegate.perform(*command);
    const int status = app.exec();
    delete settingsWindow;
    return status;
}

// runel-app: the tray app. "runel" execs it (same process, same environment) when the app must
// start; given a command name, it performs that command once it runs.

#include "KeyboardShortcuts/ChooseHotKeyBackend.h"
#include "KeyboardShortcuts/Recorder/MenuKeyWatcher.h"
#include "KeyboardShortcuts/Service.h"
#include "core/XdgDirs.h"
#include "core/execution/FileExecutor.h"
#include "core/execution/ScriptExecutionCoordinator.h"
#include "core/index/ScriptStore.h"
#include "core/instance/InstanceCommand.h"
#include "core/log/LogStore.h"
#include "core/settings/ConfigManager.h"
#include "gui/app/AppDelegate.h"
#include "gui/app/GlobalShortcuts.h"
#include "gui/app/InstanceServer.h"
#include "gui/app/KeyMonitor.h"
#include "gui/app/SettingsShortcutStorage.h"
#include "gui/app/StatusItem.h"
#include "gui/platform/ApplicationId.h"
#include "gui/platform/DesktopSystemServices.h"
#include "gui/settings/SettingsWindow.h"
#include "gui/settings/ShortcutControls.h"
#include "login-item/LaunchAtLogin.h"

#include <QApplication>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <cstdio>

using namespace Qt::StringLiterals;
using namespace runel;

namespace {

// In a Wayland session the app is a native Wayland client: the portal's hot keys, the
// compositor's activation tokens and its window rules all speak to Wayland windows, and X11
// grabs under XWayland see no keys typed into other windows. X11 stays the fallback where Qt's
// Wayland plugin is missing. QT_QPA_PLATFORM, when set, decides.
void choosePlatform()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
        && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "wayland;xcb");
}

// A token lets one window show, once, with the focus. The request's tokens replace the last
// ones (a request without one must not use a stale one), and whatever the command did not use
// is dropped once it has run, so no later window and no script started by the app inherits it.
// Qt reads XDG_ACTIVATION_TOKEN when a window asks for the focus, and clears it when used.
void adoptActivationTokens(const QStringList &environment)
{
    for (const QString &name : activationVariables)
        qunsetenv(name.toLatin1().constData());
    for (const QString &line : environment)
        qputenv(line.section(u'=', 0, 0).toLatin1().constData(), line.section(u'=', 1).toUtf8());
}

void performWithTokens(
    gui::AppDelegate &delegate, gui::GlobalShortcuts &shortcuts, const InstanceRequest &request)
{
    adoptActivationTokens(request.environment);
    const InstanceCommand command = request.command;
    if (command == InstanceCommand::showKeys) {
        // As the user shortcut with these keys would, holding what is typed next for the HUD.
        shortcuts.playKeys(request.keys);
    } else {
        // A command bound to a desktop key is typed like a hot key: what follows it is the HUD's.
        const bool opensHud = command == InstanceCommand::show || command == InstanceCommand::toggle
            || command == InstanceCommand::reopen || command == InstanceCommand::toggleSearch;
        if (opensHud && !delegate.isSearchWindowOpen())
            shortcuts.holdKeysForHud();
        delegate.perform(command);
    }
    // After the windows the command shows (some only on the next turn of the event loop).
    QTimer::singleShot(0, &delegate, [] { adoptActivationTokens({}); });
}

} // namespace

int main(int argc, char *argv[])
{
    std::optional<InstanceCommand> command;
    QString keys;
    if (argc > 1) {
        command = instanceCommandFromName(QString::fromLocal8Bit(argv[1]));
        // show-keys takes the keys (UTF-8, as runel passes them) and nothing else does.
        const int arguments = command == InstanceCommand::showKeys ? 3 : 2;
        if (argc == 3 && command == InstanceCommand::showKeys)
            keys = QString::fromUtf8(argv[2]);
        if (argc != arguments || !command || *command == InstanceCommand::reopen
            || (command == InstanceCommand::showKeys && keys.isEmpty())) {
            std::fputs("Usage: runel-app [show|toggle|toggle-search|settings|show-keys KEYS]\n"
                       "Starts the Runel app; 'runel' starts it for you.\n",
                stderr);
            return 2;
        }
    }

    choosePlatform();
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"runel"_s);
    QApplication::setApplicationDisplayName(u"Runel"_s);
    // Also the Wayland app id; the X11 class follows the application name.
    QApplication::setDesktopFileName(gui::applicationId());
    // The app lives in the tray: closing its last window does not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(gui::StatusItem::icon());

    gui::InstanceServer server;
    const InstanceRequest request { command.value_or(InstanceCommand::reopen),
        InstanceRequest::activationEnvironment(), keys };
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

    // The hot keys' combinations live in settings.json beside the other settings.
    gui::SettingsShortcutStorage shortcutStorage(configManager.store());
    KeyboardShortcuts::Service hotKeys(shortcutStorage,
        KeyboardShortcuts::chooseHotKeyBackend(
            gui::applicationId(), QGuiApplication::platformName()));
    QObject::connect(&configManager, &ConfigManager::storeReloaded, &hotKeys,
        &KeyboardShortcuts::Service::storageChanged);
    gui::GlobalShortcuts globalShortcuts(hotKeys, configManager, delegate);
    // The recorder refuses the app's own keys.
    std::vector<KeyboardShortcuts::Recorder::ReservedShortcut> reserved;
    for (const gui::KeyMonitor::Key &key : gui::KeyMonitor::keys()) {
        if (const std::optional<KeyboardShortcuts::Shortcut> shortcut
            = KeyboardShortcuts::Shortcut::fromQt(
                key.combination.key(), key.combination.keyboardModifiers()))
            reserved.push_back({ *shortcut, QString::fromUtf16(key.title) });
    }
    gui::ShortcutControls shortcutControls(hotKeys, configManager, std::move(reserved));
    KeyboardShortcuts::MenuKeyWatcher menuKeys(hotKeys.hotKeyCenter());

    // The entry starts "runel", the command the user starts, not this program.
    const QString runelCommand
        = LaunchAtLogin::commandBesideApp(QCoreApplication::applicationFilePath());
    LaunchAtLogin launchAtLogin(XdgDirs::autostartDir(), runelCommand);
    // What a script's jobs print after its outcome, or while the app quits, is copied by runel.
    if (QFileInfo(runelCommand).isExecutable())
        ScriptExecutionCoordinator::setLateOutputCopier(runelCommand);
    // Made on first use and deleted when closed, with all it holds (the script list, the log
    // and its folder watch, the recorders): the app spends most of its life with it closed.
    QPointer<gui::SettingsWindow> settingsWindow;
    delegate.setOpenSettingsAction([&] {
        if (!settingsWindow) {
            gui::SettingsContext context { configManager, ScriptStore::shared(), LogStore::shared(),
                services, launchAtLogin,
                [&shortcutControls](const QString &name, QWidget *parent) {
                    return shortcutControls.makeRecorder(name, parent);
                },
                [&shortcutControls](const QString &name) { shortcutControls.resetShortcut(name); },
                {},
                [&shortcutControls](const QString &name, QWidget *parent) {
                    return shortcutControls.makeDesktopBinding(name, parent);
                } };
            settingsWindow = new gui::SettingsWindow(std::move(context));
            settingsWindow->setAttribute(Qt::WA_QuitOnClose, false);
            settingsWindow->setAttribute(Qt::WA_DeleteOnClose);
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
    QObject::connect(&hotKeys, &KeyboardShortcuts::Service::recorderActiveStatusDidChange,
        &keyMonitor, &gui::KeyMonitor::setPaused);
    delegate.finishLaunching();

    QObject::connect(&server, &gui::InstanceServer::requestReceived, &delegate,
        [&delegate, &globalShortcuts](const InstanceRequest &received) {
            performWithTokens(delegate, globalShortcuts, received);
        });
    // On the way out the socket goes first: a "runel" started while the app tears down then
    // waits for it to end (it still holds the app lock) rather than for an answer.
    QObject::connect(
        &app, &QCoreApplication::aboutToQuit, &server, &gui::InstanceServer::stopListening);
    if (command)
        performWithTokens(delegate, globalShortcuts, request);
    else
        adoptActivationTokens({});
    const int status = app.exec();
    // The scripts still running are the user's work and go on; their output goes on to the log.
    FileExecutor::handOverAllOutput();
    delete settingsWindow;
    return status;
}

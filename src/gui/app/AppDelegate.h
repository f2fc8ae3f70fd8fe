#pragma once

#include "core/index/ScriptsFolderWatcher.h"
#include "core/instance/InstanceCommand.h"

#include <QObject>
#include <functional>
#include <vector>

namespace runel {
class ConfigManager;
class LogStore;
class ScriptStore;
class SearchViewModel;
class SystemServices;
} // namespace runel

namespace runel::gui {

class SearchWindowController;

// The app's shell: shows and hides the HUD, keeps a hidden HUD's foreground run alive, and
// performs the tray menu's actions and the commands of other processes. Main thread.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // The collaborators must outlive the delegate.
    AppDelegate(ConfigManager &configManager, ScriptStore &scriptStore, LogStore &logStore,
        SystemServices &services, QObject *parent = nullptr);
    ~AppDelegate() override;

    // The start-up steps after the tray icon and the key monitor: the first reload of the
    // scripts and the first-launch flag.
    void finishLaunching();

    bool isSearchWindowOpen() const;
    void showSearchWindow();
    void hideSearchWindow();
    void toggleSearchWindow();
    // Opens the HUD in search mode; switches an open HUD to search mode, or hides it when it
    // already is in search mode.
    void toggleSearchModeFromHotKey();
    // Opens the HUD when it is closed, then plays keys into it as if typed (none: only opens).
    void runKeysInHud(const QString &keys);
    // The open HUD's native window id, 0 when closed; whether the toolkit counts it as having
    // the keyboard focus.
    quintptr hudWindowId() const;
    bool hudHasFocus() const;
    void openScriptsFolder();
    void reloadScripts();
    void openSettings();
    void quitApp();
    void perform(InstanceCommand command);

    // Installed by whoever owns the settings window; without it openSettings only hides the
    // HUD and brings a window of the app forward.
    void setOpenSettingsAction(std::function<void()> action);

    // The open HUD's; null when none.
    SearchViewModel *viewModel() const { return m_viewModel; }
    // Those of closed HUDs whose foreground runs go on, oldest first.
    const std::vector<SearchViewModel *> &backgroundViewModels() const
    {
        return m_backgroundViewModels;
    }
    // The open HUD's controller; null while the HUD is closed.
    SearchWindowController *searchWindowController() const;
    const ScriptsFolderWatcher &scriptsWatcher() const { return m_scriptsWatcher; }

private:
    void searchWindowClosed();
    // Deletes a closed HUD's view model, or keeps it until its foreground run has ended.
    void releaseViewModel(SearchViewModel *viewModel);
    void bringSettingsWindowToFront();

    ConfigManager &m_configManager;
    ScriptStore &m_scriptStore;
    LogStore &m_logStore;
    SystemServices &m_services;
    // Children of the delegate. The controller lives as long as the delegate; view models are
    // released with deleteLater: they are dropped from inside their own signals and callbacks.
    SearchWindowController *m_searchWindowController = nullptr;
    SearchViewModel *m_viewModel = nullptr;
    std::vector<SearchViewModel *> m_backgroundViewModels;
    std::function<void()> m_openSettingsAction;
    // Reloads the store after changes to the scripts folder; follows the folder setting.
    ScriptsFolderWatcher m_scriptsWatcher;
};

} // namespace runel::gui

#pragma once

#include "AppShortcut.h"
#include "SettingsFile.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <vector>

class QFileSystemWatcher;

namespace runel {

template<typename T> struct Setting;

// What else an assignment of a setting sets off, equal value or not, and a change read from the
// file too: the index depends on the folder and on how labels are made.
enum class SettingEffect {
    none,
    rebuildIndex,
    // The folder is prepared (created, seeded) before the index is rebuilt from it.
    moveScriptsFolder,
};

// Every user preference, backed by settings.json. Lives on the main thread. Every assignment is
// written to the file at once; observers hear of a change only when the value differs. An
// assignment that cannot be written changes nothing: the setting keeps what the file holds.
class ConfigManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString scriptsDir READ scriptsDir WRITE setScriptsDir NOTIFY scriptsDirChanged)
    Q_PROPERTY(double scriptDelay READ scriptDelay WRITE setScriptDelay NOTIFY scriptDelayChanged)
    Q_PROPERTY(
        bool isFirstLaunch READ isFirstLaunch WRITE setIsFirstLaunch NOTIFY isFirstLaunchChanged)
    Q_PROPERTY(
        bool enhanceLabels READ enhanceLabels WRITE setEnhanceLabels NOTIFY enhanceLabelsChanged)
    Q_PROPERTY(
        QString successSound READ successSound WRITE setSuccessSound NOTIFY successSoundChanged)
    Q_PROPERTY(
        QString failureSound READ failureSound WRITE setFailureSound NOTIFY failureSoundChanged)
    Q_PROPERTY(QString backgroundSuccessSound READ backgroundSuccessSound WRITE
            setBackgroundSuccessSound NOTIFY backgroundSuccessSoundChanged)
    Q_PROPERTY(
        double resultsDelay READ resultsDelay WRITE setResultsDelay NOTIFY resultsDelayChanged)
    Q_PROPERTY(bool searchOnUnknownKey READ searchOnUnknownKey WRITE setSearchOnUnknownKey NOTIFY
            searchOnUnknownKeyChanged)
    Q_PROPERTY(bool autorunEnabled READ autorunEnabled WRITE setAutorunEnabled NOTIFY
            autorunEnabledChanged)
    Q_PROPERTY(bool rankByUse READ rankByUse WRITE setRankByUse NOTIFY rankByUseChanged)
    Q_PROPERTY(
        double autorunDelay READ autorunDelay WRITE setAutorunDelay NOTIFY autorunDelayChanged)
    Q_PROPERTY(ResultsVisibility resultsVisibility READ resultsVisibility WRITE setResultsVisibility
            NOTIFY resultsVisibilityChanged)
    Q_PROPERTY(std::vector<AppShortcut> shortcuts READ shortcuts WRITE setShortcuts NOTIFY
            shortcutsChanged)

public:
    // When the results panel below the HUD appears. Stored as the case's word.
    enum class ResultsVisibility { immediately, delayed, never };
    Q_ENUM(ResultsVisibility)

    // What every setting holds in memory. Each entry of the settings table (Settings::...) names
    // its field here; load() fills every field from the file, so nothing has a default here.
    struct Values {
        QString scriptsDir; // absolute, "~" expanded
        double scriptDelay = 0;
        bool isFirstLaunch = false;
        bool enhanceLabels = false;
        QString successSound;
        QString failureSound;
        QString backgroundSuccessSound;
        ResultsVisibility resultsVisibility = ResultsVisibility::immediately;
        double resultsDelay = 0;
        bool searchOnUnknownKey = false;
        bool autorunEnabled = false;
        bool rankByUse = false;
        double autorunDelay = 0;
        std::vector<AppShortcut> shortcuts;
    };

    // The settings table: every setting, in the order a reload notifies them. Each entry says
    // where the setting is stored and how, and whom it tells (Setting); load, reload and every
    // setter go through it. Also reachable as runel::Settings.
    struct Settings {
        static const Setting<QString> scriptsDir;
        static const Setting<double> scriptDelay;
        static const Setting<bool> isFirstLaunch;
        static const Setting<bool> enhanceLabels;
        static const Setting<QString> successSound;
        static const Setting<QString> failureSound;
        static const Setting<QString> backgroundSuccessSound;
        static const Setting<ResultsVisibility> resultsVisibility;
        static const Setting<double> resultsDelay;
        static const Setting<bool> searchOnUnknownKey;
        static const Setting<bool> autorunEnabled;
        static const Setting<bool> rankByUse;
        static const Setting<double> autorunDelay;
        static const Setting<std::vector<AppShortcut>> shortcuts;
    };

    // Loads every setting from store. The scripts folder is left alone until
    // prepareScriptsDir(): a command that reads the settings for its sounds, or scans a folder
    // of its own, must not create or seed the configured one.
    explicit ConfigManager(std::unique_ptr<SettingsFile> store,
        QString examplesDir = QStringLiteral(":/examples"), QObject *parent = nullptr);
    ~ConfigManager() override;

    // The process-wide instance on the user's settings file, created on first use.
    static ConfigManager &shared();

    QString scriptsDir() const { return m_values.scriptsDir; }
    double scriptDelay() const { return m_values.scriptDelay; }
    bool isFirstLaunch() const { return m_values.isFirstLaunch; }
    bool enhanceLabels() const { return m_values.enhanceLabels; }
    QString successSound() const { return m_values.successSound; }
    QString failureSound() const { return m_values.failureSound; }
    QString backgroundSuccessSound() const { return m_values.backgroundSuccessSound; }
    ResultsVisibility resultsVisibility() const { return m_values.resultsVisibility; }
    double resultsDelay() const { return m_values.resultsDelay; }
    bool searchOnUnknownKey() const { return m_values.searchOnUnknownKey; }
    bool autorunEnabled() const { return m_values.autorunEnabled; }
    // Search results of equal rank by text: the scripts run more often and more lately first.
    bool rankByUse() const { return m_values.rankByUse; }
    double autorunDelay() const { return m_values.autorunDelay; }
    const std::vector<AppShortcut> &shortcuts() const { return m_values.shortcuts; }

    void setScriptsDir(const QString &path) { assign(Settings::scriptsDir, path); }
    // A delay of 0 or less gives the setting's default, as it does when read from the file.
    void setScriptDelay(double seconds) { assign(Settings::scriptDelay, seconds); }
    void setIsFirstLaunch(bool value) { assign(Settings::isFirstLaunch, value); }
    void setEnhanceLabels(bool value) { assign(Settings::enhanceLabels, value); }
    void setSuccessSound(const QString &name) { assign(Settings::successSound, name); }
    void setFailureSound(const QString &name) { assign(Settings::failureSound, name); }
    void setBackgroundSuccessSound(const QString &name)
    {
        assign(Settings::backgroundSuccessSound, name);
    }
    void setResultsVisibility(ResultsVisibility visibility)
    {
        assign(Settings::resultsVisibility, visibility);
    }
    void setResultsDelay(double seconds) { assign(Settings::resultsDelay, seconds); }
    void setSearchOnUnknownKey(bool value) { assign(Settings::searchOnUnknownKey, value); }
    void setAutorunEnabled(bool value) { assign(Settings::autorunEnabled, value); }
    void setRankByUse(bool value) { assign(Settings::rankByUse, value); }
    void setAutorunDelay(double seconds) { assign(Settings::autorunDelay, seconds); }
    void setShortcuts(const std::vector<AppShortcut> &shortcuts)
    {
        assign(Settings::shortcuts, shortcuts);
    }

    // Any setting through its table entry, for code that handles settings alike (the settings
    // window's rows). assign() is what every setter does: the entry's rule applied, the value
    // written at once (also an equal one), its signal only when it changed; a failed write
    // changes nothing and emits valueNotStored.
    template<typename T> const T &value(const Setting<T> &setting) const
    {
        return m_values.*(setting.field);
    }
    template<typename T> void assign(const Setting<T> &setting, const T &value);

    SettingsFile &store() { return *m_store; }

    // Follows changes other programs make to settings.json (the user's editor, a second app):
    // the settings are read again and each changed one notifies as a setter would. The app
    // calls it; one-shot commands do not need it.
    void watchStore();

    // How a folder is written to the settings: "~" for the home folder, "~/..." below it.
    static QString abbreviatedPath(const QString &path);
    // The reverse: a leading "~" expanded; a relative path is taken from the home folder.
    static QString expandedPath(const QString &stored);
    // Makes sure the scripts folder exists and seeds it from examplesDir when Runel created it
    // or it is empty (ScriptsFolder). Waits on the file system: for one-shot commands.
    void prepareScriptsDir();
    // True once after shared() created the manager and after every assignment of scriptsDir:
    // the folder still has to be prepared. The script store takes it with the reload that
    // follows and prepares the folder on its worker thread, before the scan, so the main
    // thread never waits on a large folder or a hung mount.
    bool takeScriptsDirPreparation();
    QString examplesDir() const { return m_examplesDir; }

Q_SIGNALS:
    void scriptsDirChanged();
    void scriptDelayChanged();
    void isFirstLaunchChanged();
    void enhanceLabelsChanged();
    void successSoundChanged();
    void failureSoundChanged();
    void backgroundSuccessSoundChanged();
    void resultsVisibilityChanged();
    void resultsDelayChanged();
    void searchOnUnknownKeyChanged();
    void autorunEnabledChanged();
    void rankByUseChanged();
    void autorunDelayChanged();
    void shortcutsChanged();
    // Emitted from the event loop after every assignment of scriptsDir or enhanceLabels, equal
    // value or not: the script index must be rebuilt.
    void reloadRequested();
    // settings.json was read again after a change made outside this process; also for keys this
    // object does not hold (the hot keys' combinations).
    void storeReloaded();
    // An assignment could not be written, so its setting kept its stored value: a control that
    // already shows the new one must show the stored one again. store().lastError() says why.
    void valueNotStored();
    // store().lastError() changed without an assignment: settings.json became unreadable while
    // the app runs, or readable again.
    void storeErrorChanged();

private:
    void load();
    void requestReload();
    void reloadStore();
    void applyEffect(SettingEffect effect);

    std::unique_ptr<SettingsFile> m_store;
    QString m_examplesDir;
    bool m_scriptsDirToPrepare = false;
    Values m_values;
    // Created by watchStore; a burst of file events (an editor's save) is read once.
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer m_reloadTimer;
};

// One entry of the settings table: where a setting is stored, how, and whom it tells.
template<typename T> struct Setting {
    const char *key; // its key in settings.json
    T ConfigManager::Values::*field;
    void (ConfigManager::*changed)();
    // The value for what the file holds under key: null (missing) or an unusable value gives
    // the default. A value of the wrong type stays in the file until the setting is assigned.
    T (*read)(const nlohmann::json &stored);
    nlohmann::json (*write)(const T &value);
    // What an assignment keeps of value: the same rule the file's values go through.
    T (*clamp)(const T &value);
    SettingEffect effect = SettingEffect::none;
};

template<typename T> void ConfigManager::assign(const Setting<T> &setting, const T &value)
{
    T kept = setting.clamp(value);
    if (m_store->setValue(setting.key, setting.write(kept))) {
        T &field = m_values.*(setting.field);
        const bool changed = !(kept == field);
        field = std::move(kept);
        if (changed)
            Q_EMIT(this->*(setting.changed))();
    } else {
        Q_EMIT valueNotStored();
    }
    applyEffect(setting.effect);
}

using Settings = ConfigManager::Settings;

using ResultsVisibility = ConfigManager::ResultsVisibility;

} // namespace runel

#include "ConfigManager.h"

#include "ScriptsFolder.h"
#include "core/XdgDirs.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <utility>

namespace runel {

namespace {

const QString defaultSuccessSound = QStringLiteral("None");
const QString defaultFailureSound = QStringLiteral("Default");
const QString defaultBackgroundSuccessSound = QStringLiteral("Default");

QString homeFolder()
{
    return XdgDirs::home();
}

QString defaultScriptsDir()
{
    return homeFolder() + QStringLiteral("/.runel");
}

bool readBool(const nlohmann::json &value, bool fallback)
{
    return value.is_boolean() ? value.get<bool>() : fallback;
}

// A delay of 0 would run a script before the user could type its next key, so it never counts.
double readDelay(const nlohmann::json &value, double fallback)
{
    if (!value.is_number())
        return fallback;
    const double seconds = value.get<double>();
    return seconds > 0 ? seconds : fallback;
}

QString readString(const nlohmann::json &value, const QString &fallback)
{
    return value.is_string() ? QString::fromStdString(value.get_ref<const std::string &>())
                             : fallback;
}

ResultsVisibility readVisibility(const nlohmann::json &value)
{
    if (value == "delayed")
        return ResultsVisibility::delayed;
    if (value == "never")
        return ResultsVisibility::never;
    return ResultsVisibility::immediately;
}

const char *visibilityWord(ResultsVisibility visibility)
{
    switch (visibility) {
    case ResultsVisibility::delayed:
        return "delayed";
    case ResultsVisibility::never:
        return "never";
    case ResultsVisibility::immediately:
        break;
    }
    return "immediately";
}

} // namespace

ConfigManager::ConfigManager(
    std::unique_ptr<SettingsFile> store, QString examplesDir, QObject *parent)
    : QObject(parent)
    , m_store(
          store ? std::move(store) : std::make_unique<SettingsFile>(SettingsFile::defaultPath()))
    , m_examplesDir(std::move(examplesDir))
{
    load();
}

ConfigManager::~ConfigManager() = default;

ConfigManager &ConfigManager::shared()
{
    // Never destroyed: objects that outlive main() (hot key handlers, queued calls) may still
    // read it, and a QObject must not be torn down after the application object.
    static ConfigManager *const instance = [] {
        auto *config
            = new ConfigManager(std::make_unique<SettingsFile>(SettingsFile::defaultPath()));
        config->m_scriptsDirToPrepare = true;
        return config;
    }();
    return *instance;
}

void ConfigManager::load()
{
    const SettingsFile &store = *m_store;
    m_isFirstLaunch = readBool(store.value("isFirstLaunch"), true);
    m_enhanceLabels = readBool(store.value("enhanceLabels"), true);
    m_searchOnUnknownKey = readBool(store.value("searchOnUnknownKey"), false);
    m_autorunEnabled = readBool(store.value("autorunEnabled"), false);
    m_rankByUse = readBool(store.value("rankByUse"), false);

    m_scriptDelay = readDelay(store.value("scriptDelay"), defaultScriptDelay);
    m_resultsDelay = readDelay(store.value("resultListDelay"), defaultResultsDelay);
    m_autorunDelay = readDelay(store.value("autorunDelay"), defaultAutorunDelay);

    // An empty path would resolve to the home folder itself, which would then be scanned as a
    // whole and seeded with the examples: the default folder is the safer reading.
    const QString stored = readString(store.value("scriptsDir"), QString());
    m_scriptsDir = stored.isEmpty() ? defaultScriptsDir() : expandedPath(stored);

    m_shortcuts = decodeShortcuts(store.value("shortcuts")).value_or(std::vector<AppShortcut> {});

    m_successSound = readString(store.value("successSound"), defaultSuccessSound);
    m_failureSound = readString(store.value("failureSound"), defaultFailureSound);
    m_backgroundSuccessSound
        = readString(store.value("backgroundSuccessSound"), defaultBackgroundSuccessSound);

    m_resultsVisibility = readVisibility(store.value("resultListVisibility"));
}

void ConfigManager::watchStore()
{
    if (m_watcher)
        return;
    m_watcher = new QFileSystemWatcher(this);
    // Saves replace the file (a rename), which ends a watch on the file itself: the folder's
    // watch sees every replacement, the file's sees edits in place.
    const QString path = m_store->path();
    QDir().mkpath(QFileInfo(path).absolutePath());
    m_watcher->addPath(QFileInfo(path).absolutePath());
    if (QFileInfo::exists(path))
        m_watcher->addPath(path);
    m_reloadTimer.setSingleShot(true);
    m_reloadTimer.setInterval(50);
    connect(&m_reloadTimer, &QTimer::timeout, this, &ConfigManager::reloadStore);
    auto schedule = [this] { m_reloadTimer.start(); };
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, schedule);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, schedule);
}

void ConfigManager::reloadStore()
{
    const QString path = m_store->path();
    if (QFileInfo::exists(path) && !m_watcher->files().contains(path))
        m_watcher->addPath(path);
    const QString previousError = m_store->lastError();
    const bool reloaded = m_store->reloadFromDisk();
    if (m_store->lastError() != previousError)
        Q_EMIT storeErrorChanged();
    if (!reloaded)
        return;

    const ConfigManager::ResultsVisibility oldVisibility = m_resultsVisibility;
    const QString oldScriptsDir = m_scriptsDir;
    const double oldScriptDelay = m_scriptDelay, oldResultsDelay = m_resultsDelay,
                 oldAutorunDelay = m_autorunDelay;
    const bool oldFirstLaunch = m_isFirstLaunch, oldEnhance = m_enhanceLabels,
               oldSearchOnUnknown = m_searchOnUnknownKey, oldAutorun = m_autorunEnabled,
               oldRankByUse = m_rankByUse;
    const QString oldSuccess = m_successSound, oldFailure = m_failureSound,
                  oldBackgroundSuccess = m_backgroundSuccessSound;
    const std::vector<AppShortcut> oldShortcuts = m_shortcuts;
    load();

    // Every field is consistent before the first notification goes out.
    auto notify = [this](bool changed, void (ConfigManager::*signal)()) {
        if (changed)
            Q_EMIT(this->*signal)();
    };
    notify(oldScriptsDir != m_scriptsDir, &ConfigManager::scriptsDirChanged);
    notify(oldScriptDelay != m_scriptDelay, &ConfigManager::scriptDelayChanged);
    notify(oldFirstLaunch != m_isFirstLaunch, &ConfigManager::isFirstLaunchChanged);
    notify(oldEnhance != m_enhanceLabels, &ConfigManager::enhanceLabelsChanged);
    notify(oldSuccess != m_successSound, &ConfigManager::successSoundChanged);
    notify(oldFailure != m_failureSound, &ConfigManager::failureSoundChanged);
    notify(oldBackgroundSuccess != m_backgroundSuccessSound,
        &ConfigManager::backgroundSuccessSoundChanged);
    notify(oldVisibility != m_resultsVisibility, &ConfigManager::resultsVisibilityChanged);
    notify(oldResultsDelay != m_resultsDelay, &ConfigManager::resultsDelayChanged);
    notify(oldSearchOnUnknown != m_searchOnUnknownKey, &ConfigManager::searchOnUnknownKeyChanged);
    notify(oldAutorun != m_autorunEnabled, &ConfigManager::autorunEnabledChanged);
    notify(oldRankByUse != m_rankByUse, &ConfigManager::rankByUseChanged);
    notify(oldAutorunDelay != m_autorunDelay, &ConfigManager::autorunDelayChanged);
    notify(!(oldShortcuts == m_shortcuts), &ConfigManager::shortcutsChanged);
    if (oldScriptsDir != m_scriptsDir)
        m_scriptsDirToPrepare = true;
    if (oldScriptsDir != m_scriptsDir || oldEnhance != m_enhanceLabels)
        requestReload();
    Q_EMIT storeReloaded();
}

void ConfigManager::prepareScriptsDir()
{
    m_scriptsDirToPrepare = false;
    ScriptsFolder::prepare(m_scriptsDir, m_examplesDir);
}

bool ConfigManager::takeScriptsDirPreparation()
{
    return std::exchange(m_scriptsDirToPrepare, false);
}

void ConfigManager::requestReload()
{
    // Queued, so that the reload starts after the setter returned and sees the new value.
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT reloadRequested(); }, Qt::QueuedConnection);
}

QString ConfigManager::abbreviatedPath(const QString &path)
{
    const QString folder = expandedPath(path);
    const QString home = homeFolder();
    if (folder == home)
        return QStringLiteral("~");
    if (folder.startsWith(home + QLatin1Char('/')))
        return QLatin1Char('~') + folder.mid(home.size());
    return folder;
}

QString ConfigManager::expandedPath(const QString &stored)
{
    if (stored == u"~")
        return homeFolder();
    if (stored.startsWith(u"~/"))
        return QDir::cleanPath(homeFolder() + stored.mid(1));
    // The process's working directory depends on how Runel was started (autostart, a desktop
    // launcher, a terminal), so a relative path is read from the home folder, as "~" paths are.
    if (QDir::isRelativePath(stored))
        return QDir::cleanPath(homeFolder() + QLatin1Char('/') + stored);
    return QDir::cleanPath(stored);
}

template<typename T>
void ConfigManager::assign(
    T &field, T value, const char *key, nlohmann::json stored, void (ConfigManager::*notify)())
{
    if (!m_store->setValue(key, std::move(stored))) {
        Q_EMIT valueNotStored();
        return;
    }
    const bool changed = !(value == field);
    field = std::move(value);
    if (changed)
        Q_EMIT(this->*notify)();
}

void ConfigManager::assignDelay(double &field, double seconds, double fallback, const char *key,
    void (ConfigManager::*notify)())
{
    const double effective = seconds > 0 ? seconds : fallback;
    assign(field, effective, key, effective, notify);
}

void ConfigManager::setScriptsDir(const QString &path)
{
    const QString folder = expandedPath(path);
    assign(m_scriptsDir, folder, "scriptsDir", abbreviatedPath(folder).toStdString(),
        &ConfigManager::scriptsDirChanged);
    m_scriptsDirToPrepare = true;
    requestReload();
}

void ConfigManager::setScriptDelay(double seconds)
{
    assignDelay(m_scriptDelay, seconds, defaultScriptDelay, "scriptDelay",
        &ConfigManager::scriptDelayChanged);
}

void ConfigManager::setIsFirstLaunch(bool value)
{
    assign(m_isFirstLaunch, value, "isFirstLaunch", value, &ConfigManager::isFirstLaunchChanged);
}

void ConfigManager::setEnhanceLabels(bool value)
{
    assign(m_enhanceLabels, value, "enhanceLabels", value, &ConfigManager::enhanceLabelsChanged);
    requestReload();
}

void ConfigManager::setSuccessSound(const QString &name)
{
    assign(m_successSound, name, "successSound", name.toStdString(),
        &ConfigManager::successSoundChanged);
}

void ConfigManager::setFailureSound(const QString &name)
{
    assign(m_failureSound, name, "failureSound", name.toStdString(),
        &ConfigManager::failureSoundChanged);
}

void ConfigManager::setBackgroundSuccessSound(const QString &name)
{
    assign(m_backgroundSuccessSound, name, "backgroundSuccessSound", name.toStdString(),
        &ConfigManager::backgroundSuccessSoundChanged);
}

void ConfigManager::setResultsVisibility(ResultsVisibility visibility)
{
    assign(m_resultsVisibility, visibility, "resultListVisibility", visibilityWord(visibility),
        &ConfigManager::resultsVisibilityChanged);
}

void ConfigManager::setResultsDelay(double seconds)
{
    assignDelay(m_resultsDelay, seconds, defaultResultsDelay, "resultListDelay",
        &ConfigManager::resultsDelayChanged);
}

void ConfigManager::setSearchOnUnknownKey(bool value)
{
    assign(m_searchOnUnknownKey, value, "searchOnUnknownKey", value,
        &ConfigManager::searchOnUnknownKeyChanged);
}

void ConfigManager::setAutorunEnabled(bool value)
{
    assign(m_autorunEnabled, value, "autorunEnabled", value, &ConfigManager::autorunEnabledChanged);
}

void ConfigManager::setRankByUse(bool value)
{
    assign(m_rankByUse, value, "rankByUse", value, &ConfigManager::rankByUseChanged);
}

void ConfigManager::setAutorunDelay(double seconds)
{
    assignDelay(m_autorunDelay, seconds, defaultAutorunDelay, "autorunDelay",
        &ConfigManager::autorunDelayChanged);
}

void ConfigManager::setShortcuts(const std::vector<AppShortcut> &shortcuts)
{
    assign(m_shortcuts, shortcuts, "shortcuts", encodeShortcuts(shortcuts),
        &ConfigManager::shortcutsChanged);
}

} // namespace runel

#include "ConfigManager.h"

#include "ScriptsFolder.h"
#include "core/XdgDirs.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <utility>

namespace runel {

namespace {

QString homeFolder()
{
    return XdgDirs::home();
}

bool readBool(const nlohmann::json &value, bool fallback)
{
    return value.is_boolean() ? value.get<bool>() : fallback;
}

// A delay of 0 would run a script before the user could type its next key, so it never counts.
double delayOr(double seconds, double fallback)
{
    return seconds > 0 ? seconds : fallback;
}

double readDelay(const nlohmann::json &value, double fallback)
{
    return value.is_number() ? delayOr(value.get<double>(), fallback) : fallback;
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

template<typename T> T same(const T &value)
{
    return value;
}

template<typename T> nlohmann::json plain(const T &value)
{
    return value;
}

nlohmann::json plainString(const QString &value)
{
    return value.toStdString();
}

// Entries of the kinds most settings are, with their default.
template<bool fallback>
constexpr Setting<bool> flag(const char *key, bool ConfigManager::Values::*field,
    void (ConfigManager::*changed)(), SettingEffect effect = SettingEffect::none)
{
    return { key, field, changed,
        [](const nlohmann::json &stored) { return readBool(stored, fallback); }, plain<bool>,
        same<bool>, effect };
}

// The default in milliseconds: a floating-point template argument is not taken by every compiler
// the project builds with.
template<int fallbackMs>
constexpr Setting<double> delay(
    const char *key, double ConfigManager::Values::*field, void (ConfigManager::*changed)())
{
    constexpr double fallback = fallbackMs / 1000.0;
    return { key, field, changed,
        [](const nlohmann::json &stored) { return readDelay(stored, fallback); }, plain<double>,
        [](const double &seconds) { return delayOr(seconds, fallback); }, SettingEffect::none };
}

// A sound-theme id, "None" or "Default".
template<const char *fallback>
constexpr Setting<QString> sound(
    const char *key, QString ConfigManager::Values::*field, void (ConfigManager::*changed)())
{
    return { key, field, changed,
        [](const nlohmann::json &stored) {
            return readString(stored, QString::fromLatin1(fallback));
        },
        plainString, same<QString>, SettingEffect::none };
}

constexpr char noSound[] = "None";
constexpr char defaultSound[] = "Default";

using V = ConfigManager::Values;
using C = ConfigManager;
using S = ConfigManager::Settings;

} // namespace

constinit const Setting<QString> S::scriptsDir {
    .key = "scriptsDir",
    .field = &V::scriptsDir,
    .changed = &C::scriptsDirChanged,
    // An empty path would resolve to the home folder itself, which would then be scanned as a
    // whole and seeded with the examples: the default folder is the safer reading.
    .read =
        [](const nlohmann::json &stored) {
            const QString path = readString(stored, QString());
            return path.isEmpty() ? homeFolder() + QStringLiteral("/.runel")
                                  : C::expandedPath(path);
        },
    .write
    = [](const QString &path) -> nlohmann::json { return C::abbreviatedPath(path).toStdString(); },
    .clamp = [](const QString &path) { return C::expandedPath(path); },
    .effect = SettingEffect::moveScriptsFolder,
};
constinit const Setting<double> S::scriptDelay
    = delay<400>("scriptDelay", &V::scriptDelay, &C::scriptDelayChanged);
constinit const Setting<bool> S::isFirstLaunch
    = flag<true>("isFirstLaunch", &V::isFirstLaunch, &C::isFirstLaunchChanged);
constinit const Setting<bool> S::enhanceLabels = flag<true>(
    "enhanceLabels", &V::enhanceLabels, &C::enhanceLabelsChanged, SettingEffect::rebuildIndex);
constinit const Setting<QString> S::successSound
    = sound<noSound>("successSound", &V::successSound, &C::successSoundChanged);
constinit const Setting<QString> S::failureSound
    = sound<defaultSound>("failureSound", &V::failureSound, &C::failureSoundChanged);
constinit const Setting<QString> S::backgroundSuccessSound = sound<defaultSound>(
    "backgroundSuccessSound", &V::backgroundSuccessSound, &C::backgroundSuccessSoundChanged);
constinit const Setting<ResultsVisibility> S::resultsVisibility {
    .key = "resultListVisibility",
    .field = &V::resultsVisibility,
    .changed = &C::resultsVisibilityChanged,
    .read = readVisibility,
    .write = [](const ResultsVisibility &visibility) -> nlohmann::json {
        return visibilityWord(visibility);
    },
    .clamp = same<ResultsVisibility>,
};
constinit const Setting<double> S::resultsDelay
    = delay<400>("resultListDelay", &V::resultsDelay, &C::resultsDelayChanged);
constinit const Setting<bool> S::searchOnUnknownKey
    = flag<false>("searchOnUnknownKey", &V::searchOnUnknownKey, &C::searchOnUnknownKeyChanged);
constinit const Setting<bool> S::autorunEnabled
    = flag<false>("autorunEnabled", &V::autorunEnabled, &C::autorunEnabledChanged);
constinit const Setting<bool> S::rankByUse
    = flag<false>("rankByUse", &V::rankByUse, &C::rankByUseChanged);
constinit const Setting<double> S::autorunDelay
    = delay<1000>("autorunDelay", &V::autorunDelay, &C::autorunDelayChanged);
constinit const Setting<std::vector<AppShortcut>> S::shortcuts {
    .key = "shortcuts",
    .field = &V::shortcuts,
    .changed = &C::shortcutsChanged,
    // One malformed element drops the list; it stays in the file until the list is assigned.
    .read =
        [](const nlohmann::json &stored) {
            return decodeShortcuts(stored).value_or(std::vector<AppShortcut> {});
        },
    .write = encodeShortcuts,
    .clamp = same<std::vector<AppShortcut>>,
};

namespace {

// Calls visit with every entry of the table, in the order a reload notifies them. A setting
// missing here is never read from the file, never compared on reload, never notified.
template<typename Visit> void forEachSetting(Visit &&visit)
{
    visit(S::scriptsDir);
    visit(S::scriptDelay);
    visit(S::isFirstLaunch);
    visit(S::enhanceLabels);
    visit(S::successSound);
    visit(S::failureSound);
    visit(S::backgroundSuccessSound);
    visit(S::resultsVisibility);
    visit(S::resultsDelay);
    visit(S::searchOnUnknownKey);
    visit(S::autorunEnabled);
    visit(S::rankByUse);
    visit(S::autorunDelay);
    visit(S::shortcuts);
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
    forEachSetting([this](const auto &setting) {
        m_values.*(setting.field) = setting.read(m_store->value(setting.key));
    });
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

    const Values old = m_values;
    load();

    // Every field is consistent before the first notification goes out.
    forEachSetting([this, &old](const auto &setting) {
        if (old.*(setting.field) == m_values.*(setting.field))
            return;
        Q_EMIT(this->*(setting.changed))();
        applyEffect(setting.effect);
    });
    Q_EMIT storeReloaded();
}

void ConfigManager::applyEffect(SettingEffect effect)
{
    if (effect == SettingEffect::moveScriptsFolder)
        m_scriptsDirToPrepare = true;
    if (effect != SettingEffect::none)
        requestReload();
}

void ConfigManager::prepareScriptsDir()
{
    m_scriptsDirToPrepare = false;
    ScriptsFolder::prepare(m_values.scriptsDir, m_examplesDir);
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

} // namespace runel

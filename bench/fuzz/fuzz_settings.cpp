// settings.json as Runel finds it at start-up, in a private home. Whatever the file holds,
// nothing is lost: a file that loads is left as it was and its values survive the next save; one
// that does not is moved aside byte for byte. The settings read from it are always usable.
#include "FuzzSupport.h"

#include "core/settings/ConfigManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cmath>

using namespace runel;

namespace {

// Removed when the process exits normally (libFuzzer ends a timed run with exit()).
std::unique_ptr<QTemporaryDir> home;

QString configFolder()
{
    return home->filePath(QStringLiteral("config/runel"));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool isUsableDelay(double seconds)
{
    return seconds > 0 && std::isfinite(seconds);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Every save is synced to disk: in memory (tmpfs) a run makes twenty times the inputs.
    const QString memory = QStringLiteral("/dev/shm");
    home = QFileInfo(memory).isDir() && QFileInfo(memory).isWritable()
        ? std::make_unique<QTemporaryDir>(memory + QStringLiteral("/runel-fuzz-XXXXXX"))
        : std::make_unique<QTemporaryDir>();
    if (!home->isValid())
        std::abort();
    qputenv("HOME", QFile::encodeName(home->path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home->filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home->filePath(QStringLiteral("data"))));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QDir(home->path()).removeRecursively();
    QDir().mkpath(configFolder());
    const QString path = SettingsFile::defaultPath();
    FUZZ_CHECK(path == configFolder() + QStringLiteral("/settings.json"));
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            std::abort();
    }

    auto store = std::make_unique<SettingsFile>(path);
    if (store->loadWarning().isEmpty()) {
        FUZZ_CHECK(readAll(path) == bytes);
        // Every value read survives a save of another key.
        const nlohmann::json before
            = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
        FUZZ_CHECK(store->setValue("fuzzMarker", true));
        const SettingsFile reread(path);
        FUZZ_CHECK(reread.loadWarning().isEmpty());
        if (before.is_object()) {
            for (const auto &[key, value] : before.items()) {
                if (key != "fuzzMarker")
                    FUZZ_CHECK(reread.value(key) == value);
            }
        }
    } else {
        const QStringList aside
            = QDir(configFolder()).entryList({ QStringLiteral("settings.json.corrupt-*") });
        FUZZ_CHECK(aside.size() == 1 && !QFile::exists(path));
        FUZZ_CHECK(readAll(configFolder() + u'/' + aside.first()) == bytes);
        // With the bad file out of the way, settings are saved again.
        FUZZ_CHECK(store->setValue("fuzzMarker", true));
    }

    // A stored folder is read as an absolute, clean path; the manager then creates it, so it is
    // pointed into the private home before the manager is built.
    if (const nlohmann::json &stored = store->value("scriptsDir"); stored.is_string()) {
        const QString expanded = ConfigManager::expandedPath(QString::fromStdString(stored));
        FUZZ_CHECK(QDir::isAbsolutePath(expanded) && QDir::cleanPath(expanded) == expanded);
        store->setValue("scriptsDir", "~/scripts");
    }
    const ConfigManager settings(std::move(store), home->filePath(QStringLiteral("no-examples")));
    FUZZ_CHECK(QDir::isAbsolutePath(settings.scriptsDir()));
    FUZZ_CHECK(isUsableDelay(settings.scriptDelay()));
    FUZZ_CHECK(isUsableDelay(settings.resultsDelay()));
    FUZZ_CHECK(isUsableDelay(settings.autorunDelay()));
    FUZZ_CHECK(decodeShortcuts(encodeShortcuts(settings.shortcuts())) == settings.shortcuts());
    return 0;
}

#include "IndexLoader.h"

#include "core/settings/ConfigManager.h"
#include "core/settings/SettingsFile.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace runel::cli {

namespace {

void reportLoadWarning(Console &console, const SettingsFile &store)
{
    if (!store.loadWarning().isEmpty())
        console.printError(u"runel: warning: %1\n"_s.arg(store.loadWarning()));
}

// The settings the scan needs when the configured folder is not used. Reads settings.json
// without the settings store's start-up work on the scripts folder; the Boolean follows the
// store's loading rule (missing or of another type reads as on).
bool enhanceLabelsSetting(Console &console)
{
    const SettingsFile store(SettingsFile::defaultPath());
    reportLoadWarning(console, store);
    const nlohmann::json &value = store.value("enhanceLabels");
    return value.is_boolean() ? value.get<bool>() : true;
}

} // namespace

ScriptsFolderChoice chooseScriptsFolder(Console &console, const std::optional<QString> &folder)
{
    ScriptsFolderChoice choice;
    if (folder) {
        choice.configuration.enhanceLabels = enhanceLabelsSetting(console);
        choice.root = QDir::cleanPath(QFileInfo(*folder).absoluteFilePath());
        choice.hint = u"Check that the folder given to --dir exists and that you may read it."_s;
        return choice;
    }
    ConfigManager config(std::make_unique<SettingsFile>(SettingsFile::defaultPath()));
    config.prepareScriptsDir();
    reportLoadWarning(console, config.store());
    choice.configuration.enhanceLabels = config.enhanceLabels();
    choice.root = config.scriptsDir();
    choice.hint = u"Check that the folder exists and that you may read it, or set \"scriptsDir\" "
                  u"in %1 to another folder (or give one with --dir PATH)."_s.arg(
                      printable(config.store().path()));
    return choice;
}

std::optional<LoadedIndex> loadIndex(Console &console, const std::optional<QString> &folder)
{
    const ScriptsFolderChoice choice = chooseScriptsFolder(console, folder);
    Expected<std::unique_ptr<ScriptIndex>> built
        = ScriptIndex::scanAndBuild(choice.root, choice.configuration);
    if (!built) {
        console.printError(u"runel: %1\n%2\n"_s.arg(printable(built.error()), choice.hint));
        return std::nullopt;
    }
    LoadedIndex loaded;
    loaded.index = std::move(built).value();
    loaded.root = choice.root;
    loaded.enhanceLabels = choice.configuration.enhanceLabels;
    return loaded;
}

void keepUntilExit(std::unique_ptr<ScriptIndex> index)
{
    static std::vector<std::unique_ptr<ScriptIndex>> *const kept
        = new std::vector<std::unique_ptr<ScriptIndex>>;
    kept->push_back(std::move(index));
}

} // namespace runel::cli

#include "Command.h"
#include "DisplayJson.h"
#include "IndexLoader.h"
#include "IndexNames.h"
#include "Table.h"
#include "core/hud/SearchEvaluation.h"
#include "core/index/CommandResolver.h"
#include "core/text/Text.h"

#include <nlohmann/json.hpp>

using namespace Qt::StringLiterals;

namespace runel::cli {

namespace {

// What the HUD would show and reach after typing the keys.
struct Resolution {
    CommandResolver::ResolveResult result;
    std::vector<QString> matchedLabels;
    bool isAtComponentBoundary = false;
    std::vector<KeyGroup> displayKeyGroups;
};

Resolution resolve(const KeyGroup &keys, const ScriptIndex &index, bool enhanceLabels)
{
    Resolution resolution;
    resolution.result = CommandResolver::resolve(keys, index.sequence.reachableItems);
    const SequenceItem *primary = CommandResolver::primaryMatch(resolution.result);
    resolution.matchedLabels = CommandResolver::matchedLabels(keys, primary, enhanceLabels);
    resolution.isAtComponentBoundary = CommandResolver::isAtComponentBoundary(keys, primary);
    resolution.displayKeyGroups = CommandResolver::displayKeyGroups(keys, primary);
    return resolution;
}

nlohmann::ordered_json pathsJson(const std::vector<const SequenceItem *> &items)
{
    nlohmann::ordered_json paths = nlohmann::ordered_json::array();
    for (const SequenceItem *item : items)
        paths.push_back(utf8(item->file->relativePath));
    return paths;
}

// The rows of the results list, as the HUD would show them after the keys.
nlohmann::ordered_json rowsJson(const std::vector<ListItem> &rows, qsizetype typedKeyCount)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const ListItem &row : rows) {
        const ResultDisplayItem display = displayItem(row, typedKeyCount);
        list.push_back({
            { "kind", row.isFile() ? "file" : "folder" },
            { "path",
                row.isFile() ? nlohmann::ordered_json(utf8(row.sequenceItem()->file->relativePath))
                             : nlohmann::ordered_json(nullptr) },
            { "icon", utf8(display.icon) },
            { "title", utf8(display.title) },
            { "subtitle", optionalJson(display.subtitle) },
            { "keyHint", optionalJson(display.keyHint) },
            { "titleHighlight",
                highlightJson(display.titleHighlightOffset, display.titleHighlightCount) },
            { "subtitleHighlight",
                highlightJson(display.subtitleHighlightOffset, display.subtitleHighlightCount) },
            { "subtitleStemCount", display.subtitleStemCount },
        });
    }
    return list;
}

nlohmann::ordered_json resolutionJson(const Resolution &resolution)
{
    nlohmann::ordered_json labels = nlohmann::ordered_json::array();
    for (const QString &label : resolution.matchedLabels)
        labels.push_back(utf8(label));
    nlohmann::ordered_json groups = nlohmann::ordered_json::array();
    for (const KeyGroup &group : resolution.displayKeyGroups) {
        nlohmann::ordered_json keys = nlohmann::ordered_json::array();
        for (const Key &key : group)
            keys.push_back(utf8(key));
        groups.push_back(std::move(keys));
    }
    return {
        { "fullMatches", pathsJson(resolution.result.fullMatches) },
        { "prefixMatches", pathsJson(resolution.result.prefixMatches) },
        { "matchedLabels", std::move(labels) },
        { "isAtComponentBoundary", resolution.isAtComponentBoundary },
        { "displayKeyGroups", std::move(groups) },
    };
}

QString matchesText(
    const QString &title, const std::vector<const SequenceItem *> &items, const Console &console)
{
    if (items.empty())
        return u"%1: none\n"_s.arg(title);
    Table table;
    for (const SequenceItem *item : items) {
        table.addRow({ { displayKeys(*item), Style::bold }, { printable(item->displayName) },
            { printable(item->file->relativePath), Style::dim } });
    }
    return u"%1 (%2):\n"_s.arg(title).arg(items.size()) + table.render(console, u"  ");
}

QString resolutionText(const Resolution &resolution, const Console &console)
{
    QStringList labels;
    for (const QString &label : resolution.matchedLabels)
        labels.append(printable(label));
    Table summary;
    summary.addRow({ { u"Keys:"_s }, { displayKeys(resolution.displayKeyGroups), Style::bold } });
    summary.addRow({ { u"Labels:"_s }, { labels.join(u" › ") } });
    summary.addRow({ { u"Boundary:"_s },
        { resolution.isAtComponentBoundary
                ? u"yes (the keys end where a folder or file name ends)"_s
                : u"no (the keys end inside a name)"_s } });

    QString text = summary.render(console) + u'\n';
    if (resolution.result.fullMatches.empty() && resolution.result.prefixMatches.empty())
        return text
            + u"No script is reached by these keys. Run 'runel list' to see every key "
              u"sequence.\n"_s;
    return text + matchesText(u"Full matches"_s, resolution.result.fullMatches, console)
        + matchesText(u"Prefix matches"_s, resolution.result.prefixMatches, console);
}

int runResolve(const Arguments &arguments, Console &console)
{
    KeyGroup keys;
    for (QString &character : text::characters(arguments.positionals().constFirst()))
        keys.push_back(std::move(character));

    const std::optional<LoadedIndex> loaded = loadIndex(console, arguments.value(u"--dir"_s));
    if (!loaded)
        return exitFailure;
    const Resolution resolution = resolve(keys, *loaded->index, loaded->enhanceLabels);

    if (arguments.has(u"--json"_s)) {
        nlohmann::ordered_json output = resolutionJson(resolution);
        const Evaluation evaluation = evaluateKeys(keys, resolution.result, loaded->enhanceLabels);
        output["title"] = utf8(sequenceTitle(keys, evaluation));
        output["rows"] = rowsJson(evaluation.resultItems, qsizetype(keys.size()));
        console.printUtf8(
            output.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + '\n');
        return exitSuccess;
    }
    console.print(resolutionText(resolution, console));
    return exitSuccess;
}

} // namespace

Command resolveCommand()
{
    return {
        u"resolve"_s,
        u"Show which scripts typed keys reach"_s,
        u"KEYS [--dir PATH] [--json]"_s,
        u"Resolves KEYS as if they were typed into the HUD in key-sequence mode: the scripts "
        u"they name\ncompletely (full matches) and those whose key sequence they begin (prefix "
        u"matches), the labels\nthe HUD shows for them, whether they end at a folder or file "
        u"boundary and how they are grouped.\nUpper-case keys match their lower-case form. "
        u"Use '--' before KEYS that begin with '-'.\n\n"
        u"With --json, prints one object: \"fullMatches\" and \"prefixMatches\" (paths below "
        u"the scripts\nfolder), \"matchedLabels\", \"isAtComponentBoundary\", "
        u"\"displayKeyGroups\", \"title\" (the HUD's\ntitle) and \"rows\": the rows of the "
        u"results list, each with \"kind\" (\"file\" or \"folder\"), \"path\"\n(null for a "
        u"folder), \"icon\", \"title\", \"subtitle\" and \"keyHint\" (either may be null), "
        u"\"titleHighlight\"\nand \"subtitleHighlight\" ([offset, count] in characters, or "
        u"null) and \"subtitleStemCount\"."_s,
        { dirOption(), jsonOption() },
        { u"KEYS"_s },
        {},
        &runResolve,
    };
}

} // namespace runel::cli

#include "Command.h"
#include "DisplayJson.h"
#include "IndexLoader.h"
#include "IndexNames.h"
#include "Table.h"
#include "core/hud/SearchCatalog.h"
#include "core/hud/SearchEvaluation.h"
#include "core/log/LogStore.h"
#include "core/settings/SettingsFile.h"

#include <nlohmann/json.hpp>

using namespace Qt::StringLiterals;

namespace runel::cli {

namespace {

const char *blockName(SearchBlock block)
{
    switch (block) {
    case SearchBlock::patternFallback:
        return "patternFallback";
    case SearchBlock::match:
        return "match";
    case SearchBlock::enabledFallback:
        return "enabledFallback";
    }
    return "match";
}

nlohmann::ordered_json resultJson(const SearchResult &result, const ResultDisplayItem &display)
{
    return {
        { "path", utf8(result.item->file->relativePath) },
        { "name", utf8(result.item->displayName) },
        { "block", blockName(result.block) },
        { "icon", utf8(display.icon) },
        { "title", utf8(display.title) },
        { "subtitle", optionalJson(display.subtitle) },
        { "titleHighlight",
            highlightJson(display.titleHighlightOffset, display.titleHighlightCount) },
        { "subtitleHighlight",
            highlightJson(display.subtitleHighlightOffset, display.subtitleHighlightCount) },
    };
}

// Why a result is where it is, when its name alone does not say.
QString note(const SearchResult &result)
{
    switch (result.block) {
    case SearchBlock::patternFallback:
        return u"fallback, pattern matches"_s;
    case SearchBlock::enabledFallback:
        return u"fallback"_s;
    case SearchBlock::match:
        break;
    }
    return result.item->file->metadata.pinned ? u"pinned"_s : QString();
}

// Whether search ranks by use, as the app does: the setting "rankByUse", off unless it is
// true (loading warnings were given when the index was loaded).
bool rankByUseSetting()
{
    const SettingsFile store(SettingsFile::defaultPath());
    const nlohmann::json &value = store.value("rankByUse");
    return value.is_boolean() && value.get<bool>();
}

QString resultsText(
    const QString &title, const std::vector<SearchResult> &results, const Console &console)
{
    QString text = console.styled(printable(title), Style::bold) + u'\n';
    if (results.empty())
        return text + u"No Results\n"_s;
    Table table;
    for (const SearchResult &result : results) {
        table.addRow({ { printable(result.item->displayName) },
            { printable(result.item->file->relativePath), Style::dim },
            { note(result), Style::yellow } });
    }
    return text + table.render(console, u"  ");
}

int runSearch(const Arguments &arguments, Console &console)
{
    const QString &query = arguments.positionals().constFirst();
    const std::optional<LoadedIndex> loaded = loadIndex(console, arguments.value(u"--dir"_s));
    if (!loaded)
        return exitFailure;

    const SearchCatalog catalog(loaded->index->search.searchableItems);
    std::vector<double> useScores;
    if (rankByUseSetting()) {
        const RunHistory history
            = RunHistory::fromRecords(LogStore::loadRecords(LogStore::defaultLogDirectory()),
                QDateTime::currentDateTimeUtc());
        useScores = catalog.useScores(history, QDateTime::currentDateTimeUtc());
    }
    const std::vector<SearchResult> results = catalog.results(query, useScores);
    const QString title = searchTitle(query, results);

    if (arguments.has(u"--json"_s)) {
        const std::vector<ResultDisplayItem> rows = catalog.displayItems(results, query);
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (size_t i = 0; i < results.size(); ++i)
            list.push_back(resultJson(results[i], rows[i]));
        const nlohmann::ordered_json output { { "title", utf8(title) }, { "results", list } };
        console.printUtf8(
            output.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + '\n');
        return exitSuccess;
    }
    console.print(resultsText(title, results, console));
    return exitSuccess;
}

} // namespace

Command searchCommand()
{
    return {
        u"search"_s,
        u"Show what free-text search in the HUD finds"_s,
        u"TEXT [--dir PATH] [--json]"_s,
        u"Searches the scripts as the HUD's search mode does and prints the results in its "
        u"order: fallback\nscripts whose pattern matches TEXT, then the scripts whose name or "
        u"path contains TEXT (any\nletter case; pinned scripts first, then hits in the name, "
        u"earlier hits first; with the setting\nrankByUse on, equal hits list the scripts run "
        u"more often and more lately first), then,\nwhen no script contains TEXT, the fallback "
        u"scripts that are offered for any text. An empty\nTEXT lists every searchable script. "
        u"The first line is the title the HUD shows.\n\n"
        u"With --json, prints one object: \"title\" and \"results\", an array of objects with "
        u"\"path\", \"name\",\n\"block\" (\"patternFallback\", \"match\" or "
        u"\"enabledFallback\"), \"icon\", \"title\", \"subtitle\" (or null),\n"
        u"\"titleHighlight\" and \"subtitleHighlight\" ([offset, count] in characters, or "
        u"null)."_s,
        { dirOption(), jsonOption() },
        { u"TEXT"_s },
        {},
        &runSearch,
    };
}

} // namespace runel::cli

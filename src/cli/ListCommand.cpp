#include "Command.h"
#include "IndexLoader.h"
#include "IndexNames.h"
#include "JsonWriter.h"
#include "Table.h"
#include "core/threading/WorkerThreads.h"

#include <span>

using namespace Qt::StringLiterals;

namespace runel::cli {

namespace {

void writeStatus(JsonWriter &json, const IndexStatus *status)
{
    if (status)
        json.value(statusName(*status).c_str());
    else
        json.null();
}

void writeHealth(JsonWriter &json, const ScriptHealthItem &row)
{
    const SequenceItem *sequence = row.sequenceItem;
    json.beginObject();
    json.key("path").value(row.script->relativePath);
    json.key("name").value(row.displayName);
    json.key("keyGroups").beginArray();
    if (sequence) {
        for (size_t i = 0; i < sequence->groupCount(); ++i) {
            json.beginArray();
            for (const Key &key : sequence->keyGroup(i))
                json.value(key);
            json.endArray();
        }
    }
    json.endArray();
    json.key("keys");
    if (sequence) {
        json.value(joinedKeys(sequence->flatKeys));
    } else {
        json.null();
    }
    json.key("sequenceStatus");
    writeStatus(json, sequence ? &sequence->status : nullptr);
    json.key("searchStatus");
    writeStatus(json, row.searchItem ? &row.searchItem->status : nullptr);
    json.key("availability").value(availabilityName(row.availability).c_str());
    const ListedHealth health = listedHealth(row);
    json.key("message").value(health.message);
    json.key("severity").value(severityName(health.severity).c_str());
    json.endObject();
}

// The rows as lines of a JSON array, without its brackets; continuing when rows come before them.
// With a console, the lines are printed a buffer at a time as they are made, and only what is
// left at the end is returned.
std::string healthLines(
    std::span<const ScriptHealthItem> rows, bool continuing, Console *console = nullptr)
{
    constexpr size_t printedAt = 64 * 1024;
    JsonWriter json = continuing ? JsonWriter::continuing() : JsonWriter();
    // A row with a short path and name takes about 300 bytes.
    json.reserve(console ? printedAt + 4096 : rows.size() * 320);
    for (const ScriptHealthItem &row : rows) {
        writeHealth(json.raw("\n  "), row);
        if (console && json.text().size() >= printedAt) {
            console->printUtf8(json.text());
            json.clearText();
        }
    }
    return json.takeText();
}

QString healthTable(const ScriptIndex &index, const Console &console)
{
    Table table;
    table.addRow({ { u"STATUS"_s, Style::bold }, { u"KEYS"_s, Style::bold },
        { u"NAME"_s, Style::bold }, { u"PATH"_s, Style::bold }, { u"MODES"_s, Style::bold },
        { u"MESSAGE"_s, Style::bold } });
    for (const ScriptHealthItem &row : index.health) {
        const ListedHealth health = listedHealth(row);
        const HealthSeverity severity = health.severity;
        // Without colour the word alone carries the severity; with colour a dot leads it.
        const QString status
            = console.colour() ? u"● "_s + severityLabel(severity) : severityLabel(severity);
        // A file without a sequence item (it could not be read) has no keys at all; "—" is
        // not a typable key, so it cannot be mistaken for one.
        const QString keys = row.sequenceItem ? displayKeys(*row.sequenceItem) : u"—"_s;
        table.addRow({ { status, severityStyle(severity) }, { keys, Style::bold },
            { printable(row.displayName) }, { printable(row.script->relativePath), Style::dim },
            { availabilityLabel(row.availability) }, { printable(health.message) } });
    }
    return table.render(console);
}

int runList(const Arguments &arguments, Console &console)
{
    std::optional<LoadedIndex> loaded = loadIndex(console, arguments.value(u"--dir"_s));
    if (!loaded)
        return exitFailure;
    const ScriptIndex &index = *loaded->index;

    if (arguments.has(u"--json"_s)) {
        // One object per line: still one JSON array, and easy to read and to grep. The two
        // halves of the rows are written at once, on two cores: the first is printed as it is
        // made, the second once the first is out.
        const std::span<const ScriptHealthItem> rows(index.health);
        const size_t half = rows.size() / 2;
        std::string tail;
        WorkerThreads::runBeside([&] { tail = healthLines(rows.subspan(half), half > 0); },
            [&] {
                console.printUtf8("[");
                console.printUtf8(healthLines(rows.first(half), false, &console));
            });
        tail += rows.empty() ? "]\n" : "\n]\n";
        console.printUtf8(tail);
        keepUntilExit(std::move(loaded->index));
        return exitSuccess;
    }

    if (index.health.empty()) {
        console.print(u"No scripts in %1. Scripts are files ending in .sh or .applescript.\n"_s.arg(
            printable(loaded->root)));
        return exitSuccess;
    }
    console.print(healthTable(index, console));
    keepUntilExit(std::move(loaded->index));
    return exitSuccess;
}

} // namespace

Option dirOption()
{
    return { u"--dir"_s, u"PATH"_s,
        u"Scan PATH, not the configured folder; changes no setting, adds no examples."_s };
}

Option jsonOption()
{
    return { u"--json"_s, {}, u"Print JSON instead of a table."_s };
}

Command listCommand()
{
    return {
        u"list"_s,
        u"Show every script file with its keys and whether it can be used"_s,
        u"[--dir PATH] [--json]"_s,
        u"Scans the scripts folder as the app does and prints one row per script file, in the "
        u"order of the\nscan: its status (ok, off, warning or error; off when it is ignored in "
        u"both modes), its key\nsequence (one group of keys per folder and one for the file, "
        u"\"␣\" standing for the space\nkey), its name, its path below the folder, the modes "
        u"it is offered in and what is\nwrong with it, if anything.\n\n"
        u"With --json, prints an array with one object per file: \"path\", \"name\", "
        u"\"keyGroups\", \"keys\",\n\"sequenceStatus\", \"searchStatus\", \"availability\", "
        u"\"message\" and \"severity\".\n\n"
        u"The first run creates the scripts folder and fills it with example scripts."_s,
        { dirOption(), jsonOption() },
        {},
        {},
        &runList,
    };
}

} // namespace runel::cli

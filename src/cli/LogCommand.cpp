#include "Command.h"
#include "JsonWriter.h"
#include "Table.h"
#include "core/log/LogStore.h"

#include <QEventLoop>

using namespace Qt::StringLiterals;

namespace runel::cli {

namespace {

Style statusStyle(const std::optional<RunExitStatus> &status)
{
    if (!status)
        return Style::bold;
    switch (*status) {
    case RunExitStatus::success:
        return Style::green;
    case RunExitStatus::failure:
        return Style::red;
    case RunExitStatus::cancelled:
        return Style::yellow;
    case RunExitStatus::interrupted:
        return Style::gray;
    }
    return Style::none;
}

void writeRun(JsonWriter &json, const LogRun &run)
{
    json.beginObject();
    json.key("id").value(uuidString(run.id()));
    json.key("scriptName").value(run.scriptName());
    json.key("date").value(dateString(run.date()));
    json.key("status");
    if (run.exitStatus())
        json.value(rawValue(*run.exitStatus()));
    else
        json.null();
    json.key("logFile").value(run.logPath());
    json.endObject();
}

QString runTable(const QList<LogRunPtr> &runs, const Console &console)
{
    Table table;
    table.addRow({ { u"DATE"_s, Style::bold }, { u"STATUS"_s, Style::bold },
        { u"SCRIPT"_s, Style::bold }, { u"OUTPUT"_s, Style::bold } });
    for (const LogRunPtr &run : runs) {
        const std::optional<RunExitStatus> &status = run->exitStatus();
        table.addRow({ { run->date().toLocalTime().toString(u"yyyy-MM-dd HH:mm:ss"_s) },
            { status ? rawValue(*status) : u"running"_s, statusStyle(status) },
            { printable(run->scriptName()) }, { printable(run->logPath()), Style::dim } });
    }
    return table.render(console);
}

int runLog(const Arguments &arguments, Console &console)
{
    LogStore store(LogStore::defaultLogDirectory());
    // The reload hands its result to the event loop; no window is involved.
    QEventLoop loop;
    store.reload([&loop] { loop.quit(); });
    loop.exec();

    if (arguments.has(u"--json"_s)) {
        // One object per line: still one JSON array, and easy to read and to grep.
        JsonWriter json;
        json.beginArray();
        for (const LogRunPtr &run : store.runs())
            writeRun(json.raw("\n  "), *run);
        json.raw(store.runs().isEmpty() ? "" : "\n").endArray().raw("\n");
        console.printUtf8(json.text());
        return exitSuccess;
    }
    if (store.runs().isEmpty()) {
        console.print(u"No runs in the log (%1).\n"_s.arg(printable(store.logDirectory())));
        return exitSuccess;
    }
    console.print(runTable(store.runs(), console));
    return exitSuccess;
}

} // namespace

Command logCommand()
{
    return {
        u"log"_s,
        u"Show the run log"_s,
        u"[--json]"_s,
        u"Lists the logged script runs, oldest first: when each started (local time), its "
        u"status\n(success, failure, cancelled, interrupted, or running), the script's name and "
        u"the file\nholding its output. A run that ended without a status, because Runel quit "
        u"during it, is\ninterrupted.\n\n"
        u"With --json, prints an array of objects: \"id\", \"scriptName\", \"date\" (UTC, "
        u"as the record\nstores it), \"status\" (null while running) and \"logFile\" (an "
        u"absolute path)."_s,
        { jsonOption() },
        {},
        {},
        &runLog,
    };
}

} // namespace runel::cli

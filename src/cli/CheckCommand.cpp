#include "Command.h"
#include "IndexLoader.h"
#include "JsonWriter.h"
#include "core/index/ScriptCheck.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace runel::cli {

namespace {

bool isSameOrBelow(const QString &path, const QString &folder)
{
    return path == folder || path.startsWith(folder == u"/" ? folder : folder + u'/');
}

// Paths as the user can open them from here: below the working folder relative to it, else
// absolute, the way compilers name the files they report on.
QString shownPath(const QString &path)
{
    const QString here = QDir::currentPath();
    return isSameOrBelow(path, here) && path != here ? QDir(here).relativeFilePath(path) : path;
}

// The findings of one folder scanned as a scripts folder, or nothing after telling the user why
// it could not be listed.
std::optional<std::vector<ScriptFinding>> checkFolder(
    Console &console, const QString &root, const ScriptsFolderChoice &choice, const QString &hint)
{
    Expected<std::unique_ptr<ScriptIndex>> checked = scanAndCheck(root, choice.configuration);
    if (!checked) {
        console.printError(u"runel check: %1\n%2\n"_s.arg(printable(checked.error()), hint));
        return std::nullopt;
    }
    std::unique_ptr<ScriptIndex> index = std::move(checked).value();
    std::vector<ScriptFinding> findings = std::move(index->findings);
    keepUntilExit(std::move(index));
    return findings;
}

void printFindings(Console &console, const std::vector<ScriptFinding> &findings, bool json)
{
    if (json) {
        JsonWriter writer;
        writer.beginArray();
        for (const ScriptFinding &finding : findings) {
            writer.raw("\n  ").beginObject();
            writer.key("path").value(finding.path);
            writer.key("line");
            if (finding.line > 0)
                writer.value(static_cast<long long>(finding.line));
            else
                writer.null();
            writer.key("message").value(finding.message);
            writer.endObject();
        }
        writer.raw(findings.empty() ? "" : "\n").endArray();
        console.printUtf8(writer.takeText() + '\n');
        return;
    }
    QString text;
    for (const ScriptFinding &finding : findings) {
        const QString where = finding.line > 0
            ? u"%1:%2:"_s.arg(printable(shownPath(finding.path)), QString::number(finding.line))
            : printable(shownPath(finding.path)) + u':';
        text += console.styled(where, Style::bold) + u' ' + printable(finding.message) + u'\n';
    }
    console.print(text);
}

int runCheck(const Arguments &arguments, Console &console)
{
    const ScriptsFolderChoice choice = chooseScriptsFolder(console, arguments.value(u"--dir"_s));
    std::vector<ScriptFinding> findings;
    if (arguments.positionals().isEmpty()) {
        std::optional<std::vector<ScriptFinding>> all
            = checkFolder(console, choice.root, choice, choice.hint);
        if (!all)
            return exitFailure;
        findings = std::move(*all);
    } else {
        // Each path is checked as part of the scripts folder when it lies below it (keys are
        // unique among siblings there), otherwise as part of its own folder.
        std::optional<std::vector<ScriptFinding>> ofScriptsFolder;
        for (const QString &given : arguments.positionals()) {
            const QFileInfo info(given);
            if (!info.exists()) {
                console.printError(u"runel check: no file or folder '%1'\nTry 'runel check "
                                   u"--help'.\n"_s.arg(printable(given)));
                return exitUsage;
            }
            const QString path = QDir::cleanPath(info.absoluteFilePath());
            std::optional<std::vector<ScriptFinding>> scanned;
            if (isSameOrBelow(path, choice.root)) {
                if (!ofScriptsFolder)
                    ofScriptsFolder = checkFolder(console, choice.root, choice, choice.hint);
                scanned = ofScriptsFolder;
            } else {
                const QString root = info.isDir() ? path : QFileInfo(path).absolutePath();
                scanned
                    = checkFolder(console, root, choice, u"Check that you may read the folder."_s);
            }
            if (!scanned)
                return exitFailure;
            for (ScriptFinding &finding : *scanned) {
                if (isSameOrBelow(finding.path, path)
                    && std::find(findings.begin(), findings.end(), finding) == findings.end())
                    findings.push_back(std::move(finding));
            }
        }
    }
    printFindings(console, findings, arguments.has(u"--json"_s));
    return findings.empty() ? exitSuccess : exitFailure;
}

} // namespace

Command checkCommand()
{
    return {
        u"check"_s,
        u"Find annotations that do nothing and scripts that cannot be used"_s,
        u"[PATH...] [--dir PATH] [--json]"_s,
        u"Checks the scripts below each PATH (files or folders; the whole scripts folder when "
        u"none is given)\nand prints one line per finding, \"path:line: message\" (\"path: "
        u"message\" when it is about the\nwhole file), as compilers do, so that editors can "
        u"jump to it: annotations that are unknown,\nseparated by a tab, or have a value that "
        u"means nothing or is not valid, later lines that\nreplace earlier ones, scripts that "
        u"cannot be read, share their keys with another or have keys\nthat cannot be typed, "
        u"and scripts past the 64th of a folder or more than 6 folders deep, which\nare never "
        u"scanned. A PATH outside the scripts folder is checked as part of its own folder.\n\n"
        u"Exits with 0 when nothing was found, 1 when something was, 2 when the command line "
        u"is wrong.\nWith --json, prints an array with one object per finding: \"path\" "
        u"(absolute), \"line\" (null\nfor the whole file) and \"message\"."_s,
        { dirOption(), jsonOption() },
        {},
        { u"PATH..."_s },
        &runCheck,
    };
}

} // namespace runel::cli

#include "ScriptCheck.h"

#include "core/Json.h"
#include "core/ScriptType.h"
#include "core/text/Regex.h"

#include <QDir>
#include <QDirIterator>
#include <QHash>
#include <QStringList>
#include <algorithm>
#include <mutex>

using namespace Qt::StringLiterals;

namespace runel {
namespace {

const QStringList &knownKeys()
{
    static const QStringList keys { u"label"_s, u"argument"_s, u"output"_s, u"pinned"_s,
        u"ignore"_s, u"icon"_s, u"fallback"_s };
    return keys;
}

const QStringList &knownArgumentMembers()
{
    static const QStringList members { u"placeholder"_s, u"value"_s, u"secret"_s };
    return members;
}

// Edits (insertions, deletions, substitutions) that turn a into b.
qsizetype editDistance(QStringView a, QStringView b)
{
    std::vector<qsizetype> row(size_t(b.size()) + 1);
    for (qsizetype j = 0; j <= b.size(); ++j)
        row[size_t(j)] = j;
    for (qsizetype i = 1; i <= a.size(); ++i) {
        qsizetype diagonal = row[0];
        row[0] = i;
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const qsizetype above = row[size_t(j)];
            const qsizetype substitution
                = diagonal + (a[i - 1].toLower() == b[j - 1].toLower() ? 0 : 1);
            row[size_t(j)] = std::min({ above + 1, row[size_t(j - 1)] + 1, substitution });
            diagonal = above;
        }
    }
    return row[size_t(b.size())];
}

// The known name a mistyped one most likely meant: the nearest within two edits, if any.
std::optional<QString> nearest(QStringView typed, const QStringList &names)
{
    std::optional<QString> best;
    qsizetype bestDistance = 3;
    for (const QString &name : names) {
        const qsizetype distance = editDistance(typed, name);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = name;
        }
    }
    return best;
}

bool isKnownKey(QStringView key)
{
    return knownKeys().contains(key);
}

QString unknownKeyMessage(QStringView key)
{
    if (const std::optional<QString> meant = nearest(key, knownKeys()))
        return u"unknown annotation \"%1\", so this line does nothing; did you mean \"%2\"?"_s.arg(
            key, *meant);
    return u"unknown annotation \"%1\", so this line does nothing; the known ones are label, "
           u"argument, output, pinned, ignore, icon and fallback"_s.arg(key);
}

// nlohmann's messages begin with an exception tag that means nothing to an author.
QString jsonError(const QString &message)
{
    const qsizetype tagEnd = message.startsWith(u'[') ? message.indexOf(u"] ") : -1;
    return tagEnd < 0 ? message : message.mid(tagEnd + 2);
}

void checkArgument(QStringView value, std::vector<QString> &messages)
{
    const QByteArray utf8 = value.toUtf8();
    const Expected<nlohmann::json> parsed
        = parseJson(std::string_view(utf8.constData(), size_t(utf8.size())));
    if (!parsed) {
        messages.push_back(u"the argument is not valid JSON (%1), so the script asks for no "
                           u"argument"_s.arg(jsonError(parsed.error())));
        return;
    }
    if (!parsed->is_object()) {
        messages.push_back(u"the argument must be a JSON object, like {\"placeholder\": "
                           u"\"Name\"}, so the script asks for no argument"_s);
        return;
    }
    for (const auto &[name, member] : parsed->items()) {
        const QString memberName = QString::fromStdString(name);
        if (!knownArgumentMembers().contains(memberName)) {
            const std::optional<QString> meant = nearest(memberName, knownArgumentMembers());
            messages.push_back(meant
                    ? u"the argument's \"%1\" means nothing; did you mean \"%2\"?"_s.arg(
                        memberName, *meant)
                    : u"the argument's \"%1\" means nothing; the known members are "
                      u"\"placeholder\", \"value\" and \"secret\""_s.arg(memberName));
        } else if (memberName == u"secret") {
            if (!member.is_boolean())
                messages.push_back(u"the argument's \"secret\" must be true or false, so the "
                                   u"argument is not kept secret"_s);
        } else if (!member.is_string()) {
            messages.push_back(
                u"the argument's \"%1\" is not a string, so it is taken as empty"_s.arg(
                    memberName));
        }
    }
}

// What is wrong with one key's value, as apply() would take it; empty when nothing is.
std::vector<QString> valueMessages(QStringView key, std::optional<QStringView> value)
{
    std::vector<QString> messages;
    if (!value)
        return messages;
    if (key == u"argument") {
        checkArgument(*value, messages);
    } else if (key == u"output") {
        if (*value != u"foreground" && *value != u"background")
            messages.push_back(u"\"output %1\" means nothing, so the script runs in the "
                               u"foreground; use \"foreground\" or \"background\""_s.arg(*value));
    } else if (key == u"pinned") {
        if (*value != u"true" && *value != u"false")
            messages.push_back(u"\"pinned %1\" unpins the script: only \"true\" (or no value) "
                               u"pins it"_s.arg(*value));
    } else if (key == u"ignore") {
        if (*value != u"true" && *value != u"false" && *value != u"sequence" && *value != u"search")
            messages.push_back(u"\"ignore %1\" means nothing, so the script is not ignored; use "
                               u"\"true\", \"sequence\" or \"search\""_s.arg(*value));
    } else if (key == u"fallback") {
        if (*value != u"true" && *value != u"false") {
            const auto compiled = text::compileRegex(value->toString());
            if (!compiled)
                messages.push_back(
                    u"the fallback pattern is not a valid regular expression (%1), "
                    u"so search never offers the script as a fallback"_s.arg(compiled.error()));
        }
    }
    return messages;
}

// Scripts that share their keys, named to each other, and scripts with keys no one can type.
void checkKeys(const ScriptIndex &index, std::vector<ScriptFinding> &findings)
{
    QHash<QString, std::vector<const SequenceItem *>> bySequence;
    for (const SequenceItem &item : index.sequence.entries) {
        if (item.status.is(IndexInvalidReason::duplicateSequence))
            bySequence[keySequenceString(item.flatKeys)].push_back(&item);
    }
    for (const SequenceItem &item : index.sequence.entries) {
        if (item.status.is(IndexInvalidReason::duplicateSequence)) {
            QStringList others;
            for (const SequenceItem *other : bySequence.value(keySequenceString(item.flatKeys))) {
                if (other != &item)
                    others.append(other->file->relativePath);
            }
            findings.push_back({ item.file->path, 0,
                u"its keys \"%1\" are those of %2 too, so none of them runs from keys; rename one "
                u"or move it to another folder"_s.arg(
                    joinedKeys(item.flatKeys), others.join(u", "_s)) });
        } else if (item.status.is(IndexInvalidReason::invalidKey)) {
            QStringList untypable;
            for (const Key &key : item.flatKeys) {
                if (!isTypableKey(key) && !untypable.contains(key))
                    untypable.append(key);
            }
            findings.push_back({ item.file->path, 0,
                u"its keys \"%1\" cannot all be typed (%2), so it runs only from search; rename "
                u"the file or its folder with letters, digits or punctuation"_s.arg(
                    joinedKeys(item.flatKeys), untypable.join(u' ')) });
        }
    }
}

void checkSkipped(const FileIndex &files, const FileIndex::Configuration &limits,
    std::vector<ScriptFinding> &findings)
{
    for (const FileIndex::Skipped &skipped : files.skipped) {
        if (skipped.reason == FileIndex::Skipped::Reason::pastFileLimit) {
            findings.push_back({ skipped.path, 0,
                u"it comes after the first %1 scripts of its folder (in name order), so Runel "
                u"never reads it; move it, or some of its neighbours, into a sub-folder"_s.arg(
                    limits.maxFilesPerFolder) });
            continue;
        }
        // Only a folder that holds scripts is worth a word.
        QDirIterator scripts(skipped.path, QDir::Files, QDirIterator::Subdirectories);
        while (scripts.hasNext()) {
            const QString path = scripts.next();
            if (!scriptTypeForFileName(scripts.fileName()))
                continue;
            findings.push_back({ path, 0,
                u"it is more than %1 folders below the scripts folder, so Runel never reads it; "
                u"move it up"_s.arg(limits.maxFolderDepth) });
        }
    }
}

} // namespace

std::vector<ScriptFinding> checkAnnotations(std::string_view utf8, QStringView prefix)
{
    std::vector<ScriptFinding> findings;
    QHash<QString, int> setOn; // key -> the line that last set it
    size_t counted = 0;
    int line = 1;
    forEachMarkedLine(utf8, [&](size_t start, size_t end) {
        line += int(
            std::count(utf8.begin() + qsizetype(counted), utf8.begin() + qsizetype(start), '\n'));
        counted = start;
        const QString text = QString::fromUtf8(utf8.data() + start, qsizetype(end - start));
        const std::optional<AnnotationLine> annotation = annotationIn(text, prefix);
        if (!annotation)
            return;
        const auto add = [&](QString message) { findings.push_back({ {}, line, message }); };
        QStringView key = annotation->key;
        if (const qsizetype tab = key.indexOf(u'\t'); tab >= 0) {
            if (isKnownKey(key.first(tab))) {
                add(u"a tab separates \"%1\" from its value, so this line does nothing; only "
                    u"spaces separate a key from its value"_s.arg(key.first(tab)));
                return;
            }
            key = key.first(tab);
        }
        if (!isKnownKey(key)) {
            add(unknownKeyMessage(key));
            return;
        }
        if (const auto earlier = setOn.constFind(key.toString()); earlier != setOn.cend())
            add(u"this \"%1\" line replaces the one on line %2: only the last one counts"_s.arg(key)
                    .arg(*earlier));
        setOn.insert(key.toString(), line);
        for (QString &message : valueMessages(key, annotation->value))
            add(std::move(message));
    });
    return findings;
}

std::function<void(const FileItem &, std::string_view)> FindingsCollector::inspector()
{
    return [this](const FileItem &item, std::string_view text) {
        std::vector<ScriptFinding> found
            = checkAnnotations(text, annotationPrefix(item.scriptType));
        if (found.empty())
            return;
        std::lock_guard lock(m_mutex);
        for (ScriptFinding &finding : found) {
            finding.path = item.path;
            m_found.push_back(std::move(finding));
        }
    };
}

std::vector<ScriptFinding> FindingsCollector::finish(
    const ScriptIndex &index, const FileIndex::Configuration &limits)
{
    std::vector<ScriptFinding> findings;
    {
        std::lock_guard lock(m_mutex);
        findings = std::move(m_found);
        m_found.clear();
    }
    for (const FileItem &file : index.file.entries) {
        if (file.readError)
            findings.push_back(
                { file.path, 0, u"Runel cannot read it: %1"_s.arg(*file.readError) });
    }
    checkKeys(index, findings);
    checkSkipped(index.file, limits, findings);
    std::stable_sort(
        findings.begin(), findings.end(), [](const ScriptFinding &a, const ScriptFinding &b) {
            if (a.path != b.path)
                return a.path < b.path;
            return a.line < b.line;
        });
    return findings;
}

Expected<std::unique_ptr<ScriptIndex>> scanAndCheck(
    const QString &root, const ScriptIndex::Configuration &configuration)
{
    FindingsCollector collector;
    FileIndex::Configuration withInspection = configuration.fileIndex;
    withInspection.inspect = collector.inspector();
    Expected<FileIndex> scanned = FileIndex::scan(root, withInspection);
    if (!scanned)
        return Failure { scanned.error() };
    std::unique_ptr<ScriptIndex> index
        = ScriptIndex::build(std::move(scanned).value(), configuration);
    index->findings = collector.finish(*index, configuration.fileIndex);
    return index;
}

} // namespace runel

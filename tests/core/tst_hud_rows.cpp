#include "ResultRowText.h"
#include "TestEnvironment.h"
#include "execution/ListEntry.h"
#include "hud/ResultRows.h"
#include "hud/SearchEvaluation.h"
#include "index/ScriptIndex.h"

#include <QtTest>

using namespace runel;
using runel::test::describe;
using namespace Qt::StringLiterals;

namespace {

KeyGroup keysOf(const QString &typed)
{
    KeyGroup result;
    for (QChar c : typed)
        result.emplace_back(c);
    return result;
}

QString joined(const KeyGroup &keys)
{
    QString text;
    for (const Key &key : keys)
        text += key;
    return text;
}

// A row as "path" for a script, "[Display Name/raw keys-to-type matched]" for a folder.
QString describe(const ListItem &row)
{
    if (row.isFile())
        return row.sequenceItem()->file->relativePath;
    const FolderRow &folder = row.folderRow();
    return u"[%1/%2 %3 %4]"_s.arg(folder.displayName, folder.rawName, joined(folder.keys))
        .arg(folder.matchedKeyCount);
}

} // namespace

// Sequence rows, display rows, titles and icons on real folders, and the decoding of lists.
class TstRows : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sequenceRows_data();
    void sequenceRows();
    void sequenceDisplay_data();
    void sequenceDisplay();
    void sequenceTitle_data();
    void sequenceTitle();
    void titleCountsSeveralFullMatches();
    void scriptIcon_data();
    void scriptIcon();
    void decodeList_data();
    void decodeList();
    void decodeKeepsEveryField();
    void listDisplay_data();
    void listDisplay();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ScriptIndex> m_index;

    QString root() const { return m_dir.path() + u"/scripts"_s; }
    // Builds the index of a tree given as "path" or "path=contents" entries.
    const ScriptIndex &build(const QStringList &files, bool enhanceLabels = true)
    {
        QDir(root()).removeRecursively();
        QDir().mkpath(root());
        for (const QString &file : files) {
            const qsizetype equals = file.indexOf(u'=');
            const QByteArray contents
                = equals < 0 ? QByteArray("echo\n") : file.mid(equals + 1).toUtf8();
            writeFile(root() + u'/' + file.left(equals), contents);
        }
        ScriptIndex::Configuration configuration;
        configuration.enhanceLabels = enhanceLabels;
        m_index = ScriptIndex::scanAndBuild(root(), configuration).index;
        return *m_index;
    }
    Evaluation evaluate(const QStringList &files, const QString &typed, bool enhanceLabels = true)
    {
        const ScriptIndex &index = build(files, enhanceLabels);
        return evaluateKeys(keysOf(typed), index.sequence.reachableItems, enhanceLabels);
    }
};

const QString pinnedScript = u"=# @runel.pinned\n"_s;

void TstRows::sequenceRows_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("enhance");
    QTest::addColumn<QStringList>("expected");

    const QStringList git { u"git/deploy.sh"_s, u"git/fetch.sh"_s,
        u"git/status.sh"_s + pinnedScript };
    QTest::newRow("no keys, no rows") << git << QString() << true << QStringList {};
    QTest::newRow("completed folder lists its scripts, pinned first")
        << git << u"g"_s << true
        << QStringList { u"git/status.sh"_s, u"git/deploy.sh"_s, u"git/fetch.sh"_s };
    QTest::newRow("full match before the scripts it begins")
        << git << u"gd"_s << true << QStringList { u"git/deploy.sh"_s };

    const QStringList tools { u"tools/a.sh"_s, u"tools/b.sh"_s, u"tests/c.sh"_s };
    QTest::newRow("one folder row per folder being typed")
        << tools << u"t"_s << true
        << QStringList { u"[Tests/tests e 1]"_s, u"[Tools/tools o 1]"_s };
    QTest::newRow("pinned script being typed comes before the folders")
        << (tools + QStringList { u"top.sh"_s + pinnedScript }) << u"t"_s << true
        << QStringList { u"top.sh"_s, u"[Tests/tests e 1]"_s, u"[Tools/tools oo 1]"_s };
    QTest::newRow("unpinned script being typed comes after the folders")
        << (tools + QStringList { u"top.sh"_s }) << u"t"_s << true
        << QStringList { u"[Tests/tests e 1]"_s, u"[Tools/tools oo 1]"_s, u"top.sh"_s };
    QTest::newRow("folder names enhanced when asked")
        << QStringList { u"json_tools/x.sh"_s, u"jq/y.sh"_s } << u"j"_s << true
        << QStringList { u"[Jq/jq q 1]"_s, u"[JSON Tools/json_tools s 1]"_s };
    QTest::newRow("folder names raw otherwise")
        << QStringList { u"json_tools/x.sh"_s, u"jq/y.sh"_s } << u"j"_s << false
        << QStringList { u"[jq/jq q 1]"_s, u"[json_tools/json_tools s 1]"_s };
    QTest::newRow("folder deeper down")
        << QStringList { u"git/remote/push.sh"_s, u"git/reset.sh"_s, u"git/rebase.sh"_s }
        << u"gre"_s << true
        << QStringList { u"[Remote/remote m 2]"_s, u"git/rebase.sh"_s, u"git/reset.sh"_s };
    QTest::newRow("file with fewer groups than the reference is a script")
        << QStringList { u"a/x.sh"_s, u"ab.sh"_s } << u"a"_s << true
        << QStringList { u"a/x.sh"_s, u"ab.sh"_s };
}

void TstRows::sequenceRows()
{
    QFETCH(QStringList, files);
    QFETCH(QString, typed);
    QFETCH(bool, enhance);
    QFETCH(QStringList, expected);
    const Evaluation evaluation = evaluate(files, typed, enhance);
    QStringList rows;
    for (const ListItem &row : evaluation.resultItems)
        rows.append(describe(row));
    QCOMPARE(rows, expected);
}

void TstRows::sequenceDisplay_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("enhance");
    QTest::addColumn<QStringList>("expected");

    const QStringList git { u"git/deploy.sh"_s, u"git/status.sh"_s + pinnedScript };
    QTest::newRow("hint is the script's own label")
        << git << u"g"_s << true
        << QStringList { u"pin.fill | Status - | status.sh - | s | 6"_s,
               u"doc.fill | Deploy - | deploy.sh - | d | 6"_s };
    QTest::newRow("typed file keys highlighted on the file name when the name differs")
        << git << u"gs"_s << true
        << QStringList { u"pin.fill | Status - | status.sh 0+1 | - | 6"_s };
    QTest::newRow("typed file keys highlighted on the title when it is the file name")
        << git << u"gd"_s << false
        << QStringList { u"doc.fill | deploy 0+1 | deploy.sh - | - | 6"_s };
    QTest::newRow("label annotation moves the highlight to the file name")
        << QStringList { u"ship.sh=# @runel.label Ship it\n"_s } << u"s"_s << false
        << QStringList { u"doc.fill | Ship it - | ship.sh 0+1 | - | 4"_s };
    QTest::newRow("hint is what remains of the group being typed")
        << QStringList { u"git/stash.sh"_s, u"git/status.sh"_s } << u"gst"_s << false
        << QStringList { u"doc.fill | stash 0+2 | stash.sh - | as | 5"_s,
               u"doc.fill | status 0+2 | status.sh - | at | 6"_s };
    QTest::newRow("folder row shows typed and remaining keys")
        << QStringList { u"tools/a.sh"_s, u"tests/c.sh"_s } << u"t"_s << true
        << QStringList { u"folder.fill | Tests - | tests 0+1 | e | 5"_s,
               u"folder.fill | Tools - | tools 0+1 | o | 5"_s };
    QTest::newRow("stem counted in characters")
        << QStringList { u"café.sh"_s } << u"c"_s << false
        << QStringList { u"doc.fill | café 0+1 | café.sh - | - | 4"_s };
}

void TstRows::sequenceDisplay()
{
    QFETCH(QStringList, files);
    QFETCH(QString, typed);
    QFETCH(bool, enhance);
    QFETCH(QStringList, expected);
    const Evaluation evaluation = evaluate(files, typed, enhance);
    QStringList shown;
    for (const ResultDisplayItem &item : displayItems(evaluation.resultItems, typed.size()))
        shown.append(describe(item));
    QCOMPARE(shown, expected);
}

void TstRows::sequenceTitle_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    const QStringList tools { u"tools/a.sh"_s, u"tools/b.sh"_s, u"tests/c.sh"_s };
    QTest::newRow("no keys") << tools << QString() << u"Runel"_s;
    QTest::newRow("inside a name with several matches counts them")
        << tools << u"t"_s << u"3 Matches"_s;
    QTest::newRow("at a folder boundary names the folder") << tools << u"to"_s << u"Tools"_s;
    QTest::newRow("one full match names the script") << tools << u"toa"_s << u"A"_s;
    QTest::newRow("a single prefix match names its component") << tools << u"te"_s << u"Tests"_s;
}

void TstRows::sequenceTitle()
{
    QFETCH(QStringList, files);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    QCOMPARE(runel::sequenceTitle(keysOf(typed), evaluate(files, typed)), expected);
}

void TstRows::titleCountsSeveralFullMatches()
{
    // The index never holds two scripts with one sequence, but test items handed to the view
    // model may.
    const SequenceItem item;
    Evaluation evaluation;
    evaluation.resolveResult.fullMatches = { &item, &item, &item };
    evaluation.resolveResult.prefixMatches = { &item };
    evaluation.matchedLabels = { u"Git"_s };
    QCOMPARE(runel::sequenceTitle(keysOf(u"g"_s), evaluation), u"3 Matches"_s);
    evaluation.matchedLabels.clear();
    evaluation.resolveResult.fullMatches = { &item };
    QCOMPARE(runel::sequenceTitle(keysOf(u"g"_s), evaluation), u"Runel"_s);
}

void TstRows::scriptIcon_data()
{
    QTest::addColumn<bool>("pinned");
    QTest::addColumn<QString>("icon"); // null: no icon annotation
    QTest::addColumn<bool>("appleScript");
    QTest::addColumn<QString>("expected");

    QTest::newRow("shell script") << false << QString() << false << u"doc.fill"_s;
    QTest::newRow("AppleScript") << false << QString() << true << u"applescript"_s;
    QTest::newRow("icon annotation as written")
        << false << u"network-wired"_s << false << u"network-wired"_s;
    QTest::newRow("empty icon annotation ignored") << false << u""_s << true << u"applescript"_s;
    QTest::newRow("pin wins over an icon") << true << u"network-wired"_s << false << u"pin.fill"_s;
}

void TstRows::scriptIcon()
{
    QFETCH(bool, pinned);
    QFETCH(QString, icon);
    QFETCH(bool, appleScript);
    QFETCH(QString, expected);
    ShellFileMetadata metadata;
    metadata.pinned = pinned;
    if (!icon.isNull())
        metadata.icon = icon;
    QCOMPARE(runel::scriptIcon(metadata, appleScript ? ScriptType::appleScript : ScriptType::shell),
        expected);
}

void TstRows::decodeList_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("entries"); // -1: not a list

    QTest::newRow("minimal entry") << QByteArray(R"([{"title":"A","script":"a.sh"}])") << 1;
    QTest::newRow("empty array is an empty list") << QByteArray("[]") << 0;
    QTest::newRow("surrounding white space") << QByteArray(" [ ] \r") << 0;
    QTest::newRow("unknown members ignored")
        << QByteArray(R"([{"title":"A","script":"a","extra":{"x":[1]}}])") << 1;
    QTest::newRow("null optional members read as absent")
        << QByteArray(R"([{"title":"A","script":"a","icon":null,"arguments":null}])") << 1;
    QTest::newRow("missing script") << QByteArray(R"([{"title":"A"}])") << -1;
    QTest::newRow("missing title") << QByteArray(R"([{"script":"a.sh"}])") << -1;
    QTest::newRow("null title") << QByteArray(R"([{"title":null,"script":"a"}])") << -1;
    QTest::newRow("number as title") << QByteArray(R"([{"title":1,"script":"a"}])") << -1;
    QTest::newRow("argument that is not a string")
        << QByteArray(R"([{"title":"A","script":"a","arguments":["x",2]}])") << -1;
    QTest::newRow("arguments not an array")
        << QByteArray(R"([{"title":"A","script":"a","arguments":"x"}])") << -1;
    QTest::newRow("one bad entry fails the list")
        << QByteArray(R"([{"title":"A","script":"a"},{"title":"B"}])") << -1;
    QTest::newRow("element that is not an object") << QByteArray(R"([1,2])") << -1;
    QTest::newRow("object at the top") << QByteArray(R"({"title":"A","script":"a"})") << -1;
    QTest::newRow("plain text") << QByteArray("done") << -1;
    QTest::newRow("truncated") << QByteArray(R"([{"title":"A","script":"a"})") << -1;
    QTest::newRow("trailing text") << QByteArray(R"([] and more)") << -1;
    QTest::newRow("nested beyond reason")
        << QByteArray(100000, '[') + QByteArray(100000, ']') << -1;
}

void TstRows::decodeList()
{
    QFETCH(QByteArray, line);
    QFETCH(int, entries);
    const std::optional<std::vector<ListEntry>> decoded
        = decodeListEntries(std::string_view(line.constData(), size_t(line.size())));
    QCOMPARE(decoded ? int(decoded->size()) : -1, entries);
}

void TstRows::decodeKeepsEveryField()
{
    const std::string line
        = R"([{"icon":"star","title":"Héllo","subtitle":"sub","script":)"
          R"("tools/x.sh","arguments":["a","b c",""]},{"title":"T","script":"s"}])";
    const std::optional<std::vector<ListEntry>> decoded = decodeListEntries(line);
    QVERIFY(decoded);
    QCOMPARE(decoded->size(), size_t(2));
    const ListEntry full { u"star"_s, u"Héllo"_s, u"sub"_s, u"tools/x.sh"_s,
        QStringList { u"a"_s, u"b c"_s, QString() } };
    QCOMPARE(decoded->at(0), full);
    const ListEntry bare { std::nullopt, u"T"_s, std::nullopt, u"s"_s, std::nullopt };
    QCOMPARE(decoded->at(1), bare);
}

void TstRows::listDisplay_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("no filter, no highlight")
        << QString()
        << QStringList { u"star | Deploy - | prod servers - | - | 0"_s,
               u"doc.text | Status - | - - | - | 0"_s };
    QTest::newRow("filter highlighted in both lines")
        << u"S"_s
        << QStringList { u"star | Deploy - | prod servers 5+1 | - | 0"_s,
               u"doc.text | Status 0+1 | - - | - | 0"_s };
}

void TstRows::listDisplay()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    const std::vector<ListEntry> list {
        { u"star"_s, u"Deploy"_s, u"prod servers"_s, u"d.sh"_s, std::nullopt },
        { std::nullopt, u"Status"_s, std::nullopt, u"s.sh"_s, std::nullopt },
    };
    QStringList shown;
    for (const ResultDisplayItem &item : displayItems(list, filter))
        shown.append(describe(item));
    QCOMPARE(shown, expected);
}

QTEST_GUILESS_MAIN(TstRows)
#include "tst_hud_rows.moc"

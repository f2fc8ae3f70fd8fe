#include "ResultRowText.h"
#include "TestEnvironment.h"
#include "core/execution/ListEntry.h"
#include "core/hud/ResultRows.h"
#include "core/hud/SearchEvaluation.h"
#include "core/index/ScriptIndex.h"

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

// The decoded entries as "icon | title | subtitle | script | arguments", "-" for an absent
// part, joined by "; "; "not a list" when the line is not one.
QString decoded(const QByteArray &line)
{
    const std::optional<std::vector<ListEntry>> entries
        = decodeListEntries(std::string_view(line.constData(), size_t(line.size())));
    if (!entries)
        return u"not a list"_s;
    QStringList described;
    for (const ListEntry &entry : *entries) {
        const QString arguments
            = entry.arguments ? u"[%1]"_s.arg(entry.arguments->join(u',')) : u"-"_s;
        described.append(QStringList { entry.icon.value_or(u"-"_s), entry.title,
            entry.subtitle.value_or(u"-"_s), entry.script, arguments }
                             .join(u" | "_s));
    }
    return described.join(u"; "_s);
}

} // namespace

const QString pinnedScript = u"=# @runel.pinned\n"_s;

// Sequence rows, display rows, titles and icons on real folders, and the decoding of lists.
class TstRows : public QObject {
    Q_OBJECT

private:
    IndexTree m_tree;
    Evaluation evaluate(const QStringList &files, const QString &typed, bool enhanceLabels = true)
    {
        const ScriptIndex &index = m_tree.build(files, enhanceLabels);
        return evaluateKeys(keysOf(typed), index.sequence.reachableItems, enhanceLabels);
    }

private Q_SLOTS:

    // The rows, as the HUD shows them, and the title for keys typed over a real tree.
    void sequence_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("enhance");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("rows");

        const QStringList git { u"git/deploy.sh"_s, u"git/fetch.sh"_s,
            u"git/status.sh"_s + pinnedScript };
        QTest::newRow("completed folder lists its scripts, pinned first, hinted by their labels")
            << git << u"g"_s << true << u"Git"_s
            << QStringList { u"pin.fill | Status - | status.sh - | s | 6"_s,
                   u"doc.fill | Deploy - | deploy.sh - | d | 6"_s,
                   u"doc.fill | Fetch - | fetch.sh - | f | 5"_s };
        QTest::newRow("full match highlights the typed keys on the file name when the name differs")
            << git << u"gs"_s << true << u"Status"_s
            << QStringList { u"pin.fill | Status - | status.sh 0+1 | - | 6"_s };
        QTest::newRow("full match highlights the title when it is the file name")
            << git << u"gd"_s << false << u"deploy"_s
            << QStringList { u"doc.fill | deploy 0+1 | deploy.sh - | - | 6"_s };

        const QStringList tools { u"tools/a.sh"_s, u"tools/b.sh"_s, u"tests/c.sh"_s };
        QTest::newRow("a single prefix match names its component")
            << tools << u"te"_s << true << u"Tests"_s
            << QStringList { u"doc.fill | C - | c.sh - | c | 1"_s };
        QTest::newRow("a pinned script being typed comes before the folders, others after")
            << (tools + QStringList { u"top.sh"_s + pinnedScript, u"tip.sh"_s }) << u"t"_s << true
            << u"5 Matches"_s
            << QStringList { u"pin.fill | Top - | top.sh 0+1 | op | 3"_s,
                   u"folder.fill | Tests - | tests 0+1 | e | 5"_s,
                   u"folder.fill | Tools - | tools 0+1 | oo | 5"_s,
                   u"doc.fill | Tip - | tip.sh 0+1 | i | 3"_s };

        const QStringList json { u"json_tools/x.sh"_s, u"jq/y.sh"_s };
        QTest::newRow("folder names enhanced when asked")
            << json << u"j"_s << true << u"2 Matches"_s
            << QStringList { u"folder.fill | Jq - | jq 0+1 | q | 2"_s,
                   u"folder.fill | JSON Tools - | json_tools 0+1 | s | 10"_s };
        QTest::newRow("file with fewer groups than the reference is a script")
            << QStringList { u"a/x.sh"_s, u"ab.sh"_s } << u"a"_s << true << u"A"_s
            << QStringList { u"doc.fill | X - | x.sh - | x | 1"_s,
                   u"doc.fill | Ab - | ab.sh 0+1 | b | 2"_s };
        QTest::newRow("hint is what remains of the group being typed")
            << QStringList { u"git/stash.sh"_s, u"git/status.sh"_s } << u"gst"_s << false
            << u"2 Matches"_s
            << QStringList { u"doc.fill | stash 0+2 | stash.sh - | as | 5"_s,
                   u"doc.fill | status 0+2 | status.sh - | at | 6"_s };
        // A pin wins over an icon annotation, which is shown as written; AppleScript has its own.
        QTest::newRow("icons") << QStringList { u"i/a.applescript"_s,
            u"i/b.sh=# @runel.icon network-wired\n"_s,
            u"i/c.sh=# @runel.pinned\n# @runel.icon network-wired\n"_s }
                               << u"i"_s << false << u"i"_s
                               << QStringList { u"pin.fill | c - | c.sh - | c | 1"_s,
                                      u"applescript | a - | a.applescript - | a | 1"_s,
                                      u"network-wired | b - | b.sh - | b | 1"_s };
        QTest::newRow("stem counted in characters")
            << QStringList { u"café.sh"_s } << u"c"_s << false << u"café"_s
            << QStringList { u"doc.fill | café 0+1 | café.sh - | - | 4"_s };
    }

    void sequence()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, typed);
        QFETCH(bool, enhance);
        const Evaluation evaluation = evaluate(files, typed, enhance);
        QStringList shown;
        for (const ResultDisplayItem &item : displayItems(evaluation.resultItems, typed.size()))
            shown.append(describe(item));
        QTEST(shown, "rows");
        QTEST(runel::sequenceTitle(keysOf(typed), evaluation), "title");
    }

    void decodeList_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("entries");

        QTest::newRow("every member kept")
            << QByteArray(R"([{"icon":"star","title":"Héllo","subtitle":"sub","script":)"
                          R"("tools/x.sh","arguments":["a","b c",""]},{"title":"T","script":"s"}])")
            << u"star | Héllo | sub | tools/x.sh | [a,b c,]; - | T | - | s | -"_s;
        QTest::newRow("empty array in white space is an empty list")
            << QByteArray(" [ ] \r") << QString();
        QTest::newRow("unknown members ignored")
            << QByteArray(R"([{"title":"A","script":"a","extra":{"x":[1]}}])")
            << u"- | A | - | a | -"_s;
        QTest::newRow("null optional members read as absent")
            << QByteArray(R"([{"title":"A","script":"a","icon":null,"arguments":null}])")
            << u"- | A | - | a | -"_s;
        for (const auto &[name, line] :
            std::initializer_list<std::pair<const char *, QByteArray>> {
                { "argument that is not a string",
                    R"([{"title":"A","script":"a","arguments":["x",2]}])" },
                { "one bad entry fails the list", R"([{"title":"A","script":"a"},{"title":"B"}])" },
                { "object at the top", R"({"title":"A","script":"a"})" },
                { "truncated", R"([{"title":"A","script":"a"})" },
                { "nested beyond reason", QByteArray(100000, '[') + QByteArray(100000, ']') } })
            QTest::newRow(name) << line << u"not a list"_s;
    }

    void decodeList()
    {
        QFETCH(QByteArray, line);
        QTEST(decoded(line), "entries");
    }
};

QTEST_GUILESS_MAIN(TstRows)
#include "tst_hud_rows.moc"

#include "TestEnvironment.h"
#include "core/index/CommandResolver.h"
#include "core/index/Labels.h"
#include "core/index/ScriptIndex.h"

#include <QtTest>
#include <array>

using namespace runel;
using namespace Qt::StringLiterals;

namespace {

QString joined(const std::vector<KeyGroup> &groups)
{
    QStringList parts;
    for (const KeyGroup &group : groups) {
        QString part;
        for (const Key &key : group)
            part += key;
        parts.append(part);
    }
    return parts.join(u' ');
}

QString joined(const SequenceItem &item)
{
    return joined(CommandResolver::groupKeys(item.flatKeys, item.groupEnds));
}

QString describe(bool reachable, bool searchable, ScriptAvailability availability,
    HealthSeverity severity, const QString &message)
{
    return u"%1 %2 %3 %4 %5"_s.arg(reachable ? u"reachable"_s : u"unreachable"_s,
        searchable ? u"searchable"_s : u"unsearchable"_s, QString::number(int(availability)),
        QString::number(int(severity)), message);
}

KeyGroup keys(const QString &typed)
{
    return KeyGroup(typed.begin(), typed.end());
}

} // namespace

// Keys, labels, validation, health and resolving, on real folders built for each case.
class TestKeys : public QObject {
    Q_OBJECT

private:
    IndexTree m_tree;
    const SequenceItem &item(const QString &relativePath) const
    {
        for (const SequenceItem &entry : m_tree.index->sequence.entries) {
            if (entry.file->relativePath == relativePath)
                return entry;
        }
        qFatal("no sequence item for %s", qPrintable(relativePath));
    }
    const ScriptHealthItem &healthOf(const QString &relativePath) const
    {
        for (const ScriptHealthItem &row : m_tree.index->health) {
            if (row.script->relativePath == relativePath)
                return row;
        }
        qFatal("no health row for %s", qPrintable(relativePath));
    }

private Q_SLOTS:
    // A brand comes before an acronym; a word with capitals is kept as written.
    void enhancedLabels()
    {
        QCOMPARE(enhanceLabel(u"npm-install"_s), u"npm Install"_s);
        QCOMPARE(enhanceLabel(u"iOS-build"_s), u"iOS Build"_s);
    }

    void keyGroups_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("groups");
        const QStringList gitTree { u"git/deploy.sh"_s, u"gitlab/x.sh"_s, u"go.sh"_s };
        QTest::newRow("folder whose name is another's prefix")
            << gitTree << u"git/deploy.sh"_s << u"git d"_s;
        const QStringList s { u"status.sh"_s, u"stash.sh"_s };
        QTest::newRow("long shared prefix") << s << u"stash.sh"_s << u"stas"_s;
        const QStringList a { u"a.sh"_s, u"ab.sh"_s };
        QTest::newRow("name is a prefix of a sibling") << a << u"a.sh"_s << u"a"_s;
        QTest::newRow("sibling of a prefix name") << a << u"ab.sh"_s << u"ab"_s;
        const QStringList unreachableFolder { u"docs/x.sh=# @runel.ignore\n"_s, u"deploy.sh"_s };
        QTest::newRow("folder without reachable scripts does not count")
            << unreachableFolder << u"deploy.sh"_s << u"d"_s;
        const QStringList cafe { u"caf\u00E9.sh"_s, u"cat.sh"_s };
        QTest::newRow("untypable sibling does not count") << cafe << u"cat.sh"_s << u"c"_s;
        // The untypable script still competes with its reachable siblings for its own keys.
        QTest::newRow("untypable script counts its siblings")
            << cafe << u"caf\u00E9.sh"_s << u"caf"_s;
        const QStringList cased { u"Tools/a.sh"_s, u"tools/b.sh"_s, u"tea.sh"_s };
        QTest::newRow("folders differing in case share one node")
            << cased << u"tools/b.sh"_s << u"to b"_s;
        QTest::newRow("extension is not part of the name") << QStringList { u"deploy.prod.sh"_s,
            u"deploy.sh"_s } << u"deploy.prod.sh"_s << u"deploy."_s;
    }
    void keyGroups()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, path);
        m_tree.build(files);
        QTEST(joined(item(path)), "groups");
    }

    // What each index makes of a script, and what the health list says of it. The rows the
    // command line's list shows (duplicate, untypable, unreadable, ignored in search) are
    // checked there.
    void health_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        const QStringList tree { u"x.sh"_s, u"x.applescript"_s, u"z.sh=# @runel.ignore\n"_s,
            u"w.sh=# @runel.ignore sequence\n"_s };
        using A = ScriptAvailability;
        using S = HealthSeverity;
        const auto row = [](const char *name, const QStringList &files, const QString &path,
                             bool reachable, bool searchable, A availability, S severity,
                             const QString &message) {
            QTest::newRow(name) << files << path
                                << describe(reachable, searchable, availability, severity, message);
        };
        row("ignored in key sequences", tree, u"w.sh"_s, false, true, A::searchOnly, S::gray,
            u"Ignored in key-sequence mode."_s);
        row("ignoring one duplicate frees the other",
            { u"x.sh"_s, u"x.applescript=-- @runel.ignore sequence\n"_s }, u"x.sh"_s, true, true,
            A::sequenceAndSearch, S::green, u"Available in key-sequence and search mode."_s);
    }
    void health()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, path);
        m_tree.build(files);
        const ScriptHealthItem &row = healthOf(path);
        QCOMPARE(m_tree.index->health.size(), size_t(files.size()));
        QTEST(describe(std::ranges::count(m_tree.index->sequence.reachableItems, row.sequenceItem),
                  std::ranges::count(m_tree.index->search.searchableItems, row.searchItem),
                  row.availability, row.severity(), row.message()),
            "expected");
    }

    // Keys of a folder and of a file that join into the same sequence make both duplicates,
    // however far apart the scan lists them.
    void duplicatesAcrossFolders()
    {
        m_tree.build({ u"a/b.sh"_s, u"aa.sh"_s, u"ab.sh"_s });
        QVERIFY(item(u"a/b.sh"_s).status.is(IndexInvalidReason::duplicateSequence));
        QVERIFY(item(u"ab.sh"_s).status.is(IndexInvalidReason::duplicateSequence));
        QVERIFY(item(u"aa.sh"_s).status.isValid());
    }

    void resolving()
    {
        m_tree.build(
            { u"git/deploy.sh"_s, u"git/status.sh"_s, u"a.sh"_s, u"ab/x.sh"_s, u"ab/y.sh"_s });
        const auto &reachable = m_tree.index->sequence.reachableItems;
        auto resolve = [&](const QString &typed) {
            const auto result = CommandResolver::resolve(keys(typed), reachable);
            QStringList full, prefix;
            for (const SequenceItem *i : result.fullMatches)
                full.append(i->file->relativePath);
            for (const SequenceItem *i : result.prefixMatches)
                prefix.append(i->file->relativePath);
            return full.join(u',') + u'|' + prefix.join(u',');
        };
        QCOMPARE(resolve(u"a"_s), u"a.sh|ab/x.sh,ab/y.sh"_s);
        const auto primary
            = CommandResolver::primaryMatch(CommandResolver::resolve(keys(u"a"_s), reachable));
        QCOMPARE(primary->file->relativePath, u"a.sh"_s);
    }

    // How typed keys are grouped for display. The labels matched and the component boundaries
    // are checked through the command line's resolve.
    void displayedKeyGroups()
    {
        m_tree.build(
            { u"git-tools/deploy-site.sh=# @runel.label Ship it\n"_s, u"git-tools/dump.sh"_s });
        const SequenceItem &deploy = item(u"git-tools/deploy-site.sh"_s);
        QCOMPARE(joined(deploy), u"g de"_s);
        QCOMPARE(joined(CommandResolver::displayKeyGroups(keys(u"gd"_s), &deploy)), u"g d"_s);
        QCOMPARE(joined(CommandResolver::displayKeyGroups(keys(u"gdexy"_s), &deploy)), u"g de"_s);
        // Keys typed past every group are dropped from the grouping.
        QCOMPARE(
            joined(CommandResolver::groupKeys(keys(u"abcdef"_s), std::array<quint16, 2> { 3, 4 })),
            u"abc d"_s);
    }
};

QTEST_GUILESS_MAIN(TestKeys)
#include "tst_index_keys.moc"

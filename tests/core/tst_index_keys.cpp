#include "TestEnvironment.h"
#include "index/CommandResolver.h"
#include "index/Labels.h"
#include "index/ScriptIndex.h"

#include <QtTest>

using namespace runel;

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

KeyGroup keys(const QString &typed)
{
    KeyGroup result;
    for (QChar c : typed)
        result.emplace_back(c);
    return result;
}

} // namespace

// Keys, labels, validation, health and resolving, on real folders built for each case.
class TestKeys : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ScriptIndex> m_index;

    QString root() const { return m_dir.path() + QStringLiteral("/scripts"); }
    // Builds the index of a tree given as "path" or "path=contents" entries.
    const ScriptIndex &build(const QStringList &files, bool enhanceLabels = true)
    {
        QDir(root()).removeRecursively();
        QDir().mkpath(root());
        for (const QString &file : files) {
            const qsizetype equals = file.indexOf(u'=');
            QByteArray contents = equals < 0 ? QByteArray("echo\n") : file.mid(equals + 1).toUtf8();
            contents.replace("<invalid>", "\xff\xfe"); // bytes that are not UTF-8
            writeFile(root() + u'/' + file.left(equals), contents);
        }
        ScriptIndex::Configuration configuration;
        configuration.enhanceLabels = enhanceLabels;
        m_index = ScriptIndex::scanAndBuild(root(), configuration).index;
        return *m_index;
    }
    const SequenceItem &item(const QString &relativePath) const
    {
        for (const SequenceItem &entry : m_index->sequence.entries) {
            if (entry.file->relativePath == relativePath)
                return entry;
        }
        qFatal("no sequence item for %s", qPrintable(relativePath));
    }
    const ScriptHealthItem &health(const QString &relativePath) const
    {
        for (const ScriptHealthItem &row : m_index->health) {
            if (row.script->relativePath == relativePath)
                return row;
        }
        qFatal("no health row for %s", qPrintable(relativePath));
    }

private Q_SLOTS:
    void enhancedLabels_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("label");
        QTest::newRow("words capitalised")
            << QStringLiteral("git-status") << QStringLiteral("Git Status");
        QTest::newRow("acronyms") << QStringLiteral("json_to_csv") << QStringLiteral("JSON To CSV");
        QTest::newRow("brand") << QStringLiteral("open-macos-settings")
                               << QStringLiteral("Open macOS Settings");
        QTest::newRow("brand before acronym")
            << QStringLiteral("npm-install") << QStringLiteral("npm Install");
        QTest::newRow("word with capitals kept")
            << QStringLiteral("iOS-build") << QStringLiteral("iOS Build");
        QTest::newRow("spacing survives")
            << QStringLiteral("deploy--prod") << QStringLiteral("Deploy  Prod");
        QTest::newRow("brand with space")
            << QStringLiteral("vscode_open") << QStringLiteral("VS Code Open");
        QTest::newRow("non-ASCII first letter")
            << QStringLiteral("\u00E9t\u00E9") << QStringLiteral("\u00C9t\u00E9");
        QTest::newRow("digits") << QStringLiteral("1password-lock")
                                << QStringLiteral("1Password Lock");
    }
    void enhancedLabels()
    {
        QFETCH(QString, name);
        QFETCH(QString, label);
        QCOMPARE(enhanceLabel(name), label);
    }

    void displayNames()
    {
        build(
            { QStringLiteral("git-status.sh"), QStringLiteral("x.sh=# @runel.label my-label\n") });
        QCOMPARE(item(QStringLiteral("git-status.sh")).displayName, QStringLiteral("Git Status"));
        QCOMPARE(item(QStringLiteral("x.sh")).displayName, QStringLiteral("my-label"));
        QCOMPARE(item(QStringLiteral("x.sh")).keyGroups.front(), keys(QStringLiteral("x")));
        build({ QStringLiteral("git-status.sh") }, false);
        QCOMPARE(item(QStringLiteral("git-status.sh")).displayName, QStringLiteral("git-status"));
    }

    void keyGroups_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("groups");
        const QStringList gitTree { QStringLiteral("git/deploy.sh"), QStringLiteral("gitlab/x.sh"),
            QStringLiteral("go.sh") };
        QTest::newRow("file among prefix-sharing folders")
            << gitTree << QStringLiteral("go.sh") << QStringLiteral("go");
        QTest::newRow("folder whose name is another's prefix")
            << gitTree << QStringLiteral("git/deploy.sh") << QStringLiteral("git d");
        QTest::newRow("longer folder")
            << gitTree << QStringLiteral("gitlab/x.sh") << QStringLiteral("gitl x");
        const QStringList d { QStringLiteral("deploy.sh"), QStringLiteral("docs.sh") };
        QTest::newRow("second letter decides")
            << d << QStringLiteral("docs.sh") << QStringLiteral("do");
        const QStringList s { QStringLiteral("status.sh"), QStringLiteral("stash.sh") };
        QTest::newRow("long shared prefix")
            << s << QStringLiteral("stash.sh") << QStringLiteral("stas");
        const QStringList a { QStringLiteral("a.sh"), QStringLiteral("ab.sh") };
        QTest::newRow("name is a prefix of a sibling")
            << a << QStringLiteral("a.sh") << QStringLiteral("a");
        QTest::newRow("sibling of a prefix name")
            << a << QStringLiteral("ab.sh") << QStringLiteral("ab");
        const QStringList ignored { QStringLiteral("deploy.sh"),
            QStringLiteral("debug.sh=# @runel.ignore sequence\n") };
        QTest::newRow("ignored sibling does not lengthen keys")
            << ignored << QStringLiteral("deploy.sh") << QStringLiteral("d");
        const QStringList unreachableFolder { QStringLiteral("docs/x.sh=# @runel.ignore\n"),
            QStringLiteral("deploy.sh") };
        QTest::newRow("folder without reachable scripts does not count")
            << unreachableFolder << QStringLiteral("deploy.sh") << QStringLiteral("d");
        const QStringList cafe { QStringLiteral("caf\u00E9.sh"), QStringLiteral("cat.sh") };
        QTest::newRow("untypable sibling does not count")
            << cafe << QStringLiteral("cat.sh") << QStringLiteral("c");
        // The untypable script still competes with its reachable siblings for its own keys.
        QTest::newRow("untypable script counts its siblings")
            << cafe << QStringLiteral("caf\u00E9.sh") << QStringLiteral("caf");
        const QStringList cased { QStringLiteral("Tools/a.sh"), QStringLiteral("tools/b.sh"),
            QStringLiteral("tea.sh") };
        QTest::newRow("folders differing in case share one node")
            << cased << QStringLiteral("tools/b.sh") << QStringLiteral("to b");
        QTest::newRow("extension is not part of the name")
            << QStringList { QStringLiteral("deploy.prod.sh"), QStringLiteral("deploy.sh") }
            << QStringLiteral("deploy.prod.sh") << QStringLiteral("deploy.");
    }
    void keyGroups()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, path);
        QFETCH(QString, groups);
        build(files);
        QCOMPARE(joined(item(path).keyGroups), groups);
    }

    void statusesAndHealth()
    {
        build({ QStringLiteral("x.sh"), QStringLiteral("x.applescript"),
            QStringLiteral("y.sh=# @runel.ignore search\n"),
            QStringLiteral("z.sh=# @runel.ignore\n"),
            QStringLiteral("w.sh=# @runel.ignore sequence\n"), QStringLiteral("\u00FCber/run.sh"),
            QStringLiteral("bad.sh=<invalid>") });
        QVERIFY(item(QStringLiteral("x.sh")).status.is(IndexInvalidReason::duplicateSequence));
        QVERIFY(
            item(QStringLiteral("x.applescript")).status.is(IndexInvalidReason::duplicateSequence));
        QCOMPARE(health(QStringLiteral("x.sh")).message(),
            QStringLiteral("Another script has the same key sequence."));
        QCOMPARE(health(QStringLiteral("x.sh")).severity(), HealthSeverity::red);
        QVERIFY(health(QStringLiteral("x.sh")).searchItem->status.isValid());

        const ScriptHealthItem &y = health(QStringLiteral("y.sh"));
        QCOMPARE(y.availability, ScriptAvailability::sequenceOnly);
        QVERIFY(y.searchItem->status.is(IndexInvalidReason::ignored));
        QCOMPARE(y.message(), QStringLiteral("Ignored in search mode."));
        QCOMPARE(y.severity(), HealthSeverity::gray);

        const ScriptHealthItem &z = health(QStringLiteral("z.sh"));
        QCOMPARE(z.availability, ScriptAvailability::ignored);
        QCOMPARE(z.message(), QStringLiteral("Ignored in key-sequence mode."));

        const ScriptHealthItem &w = health(QStringLiteral("w.sh"));
        QCOMPARE(w.availability, ScriptAvailability::searchOnly);
        QCOMPARE(w.message(), QStringLiteral("Ignored in key-sequence mode."));

        const ScriptHealthItem &uber = health(QStringLiteral("\u00FCber/run.sh"));
        QVERIFY(uber.sequenceItem->status.is(IndexInvalidReason::invalidKey));
        QVERIFY(uber.searchItem->status.isValid());
        QCOMPARE(uber.message(),
            QStringLiteral(
                "A folder or filename contains a character that cannot be typed as a key."));
        QCOMPARE(uber.severity(), HealthSeverity::yellow);

        const ScriptHealthItem &bad = health(QStringLiteral("bad.sh"));
        QVERIFY(!bad.searchItem && !bad.sequenceItem);
        QVERIFY(bad.message().startsWith(QStringLiteral("Read failure - ")));
        QCOMPARE(bad.severity(), HealthSeverity::red);

        QCOMPARE(m_index->health.size(), size_t(7));
        QCOMPARE(m_index->sequence.entries.size(), size_t(6));
        QCOMPARE(m_index->sequence.reachableItems.size(), size_t(1)); // only y.sh
        QCOMPARE(m_index->search.searchableItems.size(), size_t(4)); // x, x, w, über/run

        // Ignoring one of two duplicates in key-sequence mode frees the other.
        build({ QStringLiteral("x.sh"),
            QStringLiteral("x.applescript=-- @runel.ignore sequence\n") });
        QVERIFY(item(QStringLiteral("x.sh")).status.isValid());
        QCOMPARE(health(QStringLiteral("x.sh")).message(),
            QStringLiteral("Available in key-sequence and search mode."));
        QCOMPARE(health(QStringLiteral("x.sh")).severity(), HealthSeverity::green);
        QCOMPARE(health(QStringLiteral("x.applescript")).message(),
            QStringLiteral("Ignored in key-sequence mode."));
    }

    // Keys of a folder and of a file that join into the same sequence make both duplicates,
    // however far apart the scan lists them.
    void duplicatesAcrossFolders()
    {
        build({ QStringLiteral("a/b.sh"), QStringLiteral("aa.sh"), QStringLiteral("ab.sh") });
        QVERIFY(item(QStringLiteral("a/b.sh")).status.is(IndexInvalidReason::duplicateSequence));
        QVERIFY(item(QStringLiteral("ab.sh")).status.is(IndexInvalidReason::duplicateSequence));
        QVERIFY(item(QStringLiteral("aa.sh")).status.isValid());
    }

    void availabilityMessages()
    {
        QCOMPARE(availabilityMessage(ScriptAvailability::searchOnly),
            QStringLiteral("Available in search mode only; no key sequence is assigned."));
        QCOMPARE(availabilityMessage(ScriptAvailability::sequenceOnly),
            QStringLiteral("Available in key-sequence mode only."));
        QCOMPARE(availabilityMessage(ScriptAvailability::ignored),
            QStringLiteral("Ignored in key-sequence and search mode."));
        HealthIssue noText;
        QCOMPARE(issueMessage(noText), QStringLiteral("Read failure"));
    }

    void resolving()
    {
        build({ QStringLiteral("git/deploy.sh"), QStringLiteral("git/status.sh"),
            QStringLiteral("a.sh"), QStringLiteral("ab/x.sh"), QStringLiteral("ab/y.sh") });
        const auto &reachable = m_index->sequence.reachableItems;
        auto resolve = [&](const QString &typed) {
            const auto result = CommandResolver::resolve(keys(typed), reachable);
            QStringList full, prefix;
            for (const SequenceItem *i : result.fullMatches)
                full.append(i->file->relativePath);
            for (const SequenceItem *i : result.prefixMatches)
                prefix.append(i->file->relativePath);
            return full.join(u',') + u'|' + prefix.join(u',');
        };
        QCOMPARE(resolve(QString()), QStringLiteral("|"));
        QCOMPARE(resolve(QStringLiteral("g")), QStringLiteral("|git/deploy.sh,git/status.sh"));
        QCOMPARE(resolve(QStringLiteral("gd")), QStringLiteral("git/deploy.sh|"));
        QCOMPARE(resolve(QStringLiteral("GD")), QStringLiteral("git/deploy.sh|"));
        QCOMPARE(resolve(QStringLiteral("gdx")), QStringLiteral("|"));
        QCOMPARE(resolve(QStringLiteral("a")), QStringLiteral("a.sh|ab/x.sh,ab/y.sh"));
        QVERIFY(CommandResolver::resolve(keys(QStringLiteral("a")), {}).prefixMatches.empty());

        const SequenceItem &deploy = item(QStringLiteral("git/deploy.sh"));
        QCOMPARE(joined(deploy.keyGroups), QStringLiteral("g d"));
        const auto primary = CommandResolver::primaryMatch(
            CommandResolver::resolve(keys(QStringLiteral("a")), reachable));
        QCOMPARE(primary->file->relativePath, QStringLiteral("a.sh"));
    }

    void matchedLabelsAndBoundaries()
    {
        build({ QStringLiteral("git-tools/deploy-site.sh=# @runel.label Ship it\n"),
            QStringLiteral("git-tools/dump.sh") });
        const SequenceItem &deploy = item(QStringLiteral("git-tools/deploy-site.sh"));
        QCOMPARE(joined(deploy.keyGroups), QStringLiteral("g de"));
        auto labels = [&](const QString &typed, bool enhance = true) {
            const std::vector<QString> found
                = CommandResolver::matchedLabels(keys(typed), &deploy, enhance);
            return QStringList(found.begin(), found.end());
        };
        QCOMPARE(labels(QString()), QStringList());
        QCOMPARE(labels(QStringLiteral("g")), QStringList { QStringLiteral("Git Tools") });
        QCOMPARE(labels(QStringLiteral("g"), false), QStringList { QStringLiteral("git-tools") });
        QCOMPARE(labels(QStringLiteral("gd")),
            (QStringList { QStringLiteral("Git Tools"), QStringLiteral("Deploy Site") }));
        QCOMPARE(labels(QStringLiteral("gde")),
            (QStringList { QStringLiteral("Git Tools"), QStringLiteral("Ship it") }));
        QVERIFY(CommandResolver::matchedLabels(keys(QStringLiteral("g")), nullptr, true).empty());

        QVERIFY(CommandResolver::isAtComponentBoundary({}, nullptr));
        QVERIFY(!CommandResolver::isAtComponentBoundary(keys(QStringLiteral("g")), nullptr));
        QVERIFY(CommandResolver::isAtComponentBoundary(keys(QStringLiteral("g")), &deploy));
        QVERIFY(!CommandResolver::isAtComponentBoundary(keys(QStringLiteral("gd")), &deploy));
        QVERIFY(CommandResolver::isAtComponentBoundary(keys(QStringLiteral("gde")), &deploy));
        QVERIFY(!CommandResolver::isAtComponentBoundary(keys(QStringLiteral("gdex")), &deploy));

        QCOMPARE(joined(CommandResolver::displayKeyGroups(keys(QStringLiteral("gd")), &deploy)),
            QStringLiteral("g d"));
        QCOMPARE(joined(CommandResolver::displayKeyGroups(keys(QStringLiteral("gdexy")), &deploy)),
            QStringLiteral("g de"));
        QCOMPARE(joined(CommandResolver::displayKeyGroups(keys(QStringLiteral("xy")), nullptr)),
            QStringLiteral("x y"));
        QVERIFY(CommandResolver::displayKeyGroups({}, &deploy).empty());
        // Keys typed past every group are dropped from the grouping.
        QCOMPARE(joined(CommandResolver::groupKeys(keys(QStringLiteral("abcdef")),
                     { keys(QStringLiteral("xyz")), keys(QStringLiteral("w")) })),
            QStringLiteral("abc d"));
    }
};

QTEST_GUILESS_MAIN(TestKeys)
#include "tst_index_keys.moc"

#include "RunFixtures.h"

#include "core/index/ScriptStore.h"
#include "core/settings/ConfigManager.h"
#include "core/settings/ScriptsFolder.h"

#include <QDirIterator>
#include <QMetaProperty>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <algorithm>

using namespace runel;
using namespace Qt::StringLiterals;
using json = nlohmann::json;

namespace {

// Compared as text, so that a failure shows both documents.
QString dump(const json &value)
{
    return QString::fromStdString(value.dump());
}

json readSettings()
{
    return json::parse(fileBytes(SettingsFile::defaultPath()).toStdString(), nullptr, false);
}

// Without an examples folder nothing is seeded.
std::unique_ptr<ConfigManager> makeManager(const QString &examplesDir = QString())
{
    return std::make_unique<ConfigManager>(
        std::make_unique<SettingsFile>(SettingsFile::defaultPath()), examplesDir);
}

std::unique_ptr<ConfigManager> managerWith(const QByteArray &settings)
{
    writeFile(SettingsFile::defaultPath(), settings);
    return makeManager();
}

// Every setting with a value other than its default and how the file stores that, and a
// stored value that reads as the default: "~" in a value stands for the home folder. An
// assignment of clampIn keeps clampOut.
struct SettingRow {
    const char *property;
    const char *key;
    QVariant byDefault;
    json unusable;
    QVariant other;
    json stored;
    QVariant clampIn = {};
    QVariant clampOut = {};
};

const std::vector<SettingRow> &settingRows()
{
    static const std::vector<SettingRow> rows {
        { "scriptsDir", "scriptsDir", u"~/.runel"_s, "", u"~/other"_s, "~/other", u"a/./b"_s,
            u"~/a/b"_s },
        { "scriptDelay", "scriptDelay", 0.4, 0, 2.5, 2.5, 0.0, 0.4 },
        { "enhanceLabels", "enhanceLabels", true, 0, false, false },
        { "failureSound", "failureSound", u"Default"_s, false, u"bell"_s, "bell" },
        // The words are case-sensitive.
        { "resultsVisibility", "resultListVisibility",
            QVariant::fromValue(ResultsVisibility::immediately), "Never",
            QVariant::fromValue(ResultsVisibility::never), "never" },
        { "resultsDelay", "resultListDelay", 0.4, -1, 1.5, 1.5, -1.0, 0.4 },
        { "searchOnUnknownKey", "searchOnUnknownKey", false, "true", true, true },
        { "autorunEnabled", "autorunEnabled", false, 1, true, true },
        // One malformed shortcut drops the list.
        { "shortcuts", "shortcuts", QVariant::fromValue(std::vector<AppShortcut>()),
            json::parse(R"([{"id": "6F1D2A3B-0000-4000-8000-000000000001", "keySequence": "a"},
                {"id": "6F1D2A3B-0000-4000-8000-000000000001"}])"),
            QVariant::fromValue(std::vector<AppShortcut> {
                { QUuid::fromString(u"{6f1d2a3b-0000-4000-8000-000000000001}"_s), u"gd"_s } }),
            json::parse(
                R"([{"id": "6F1D2A3B-0000-4000-8000-000000000001", "keySequence": "gd"}])") },
    };
    return rows;
}

// A value of the table with "~" standing for the home folder.
QVariant inHome(QVariant value)
{
    if (value.typeId() == QMetaType::QString)
        value = value.toString().replace(u"~"_s, QDir::homePath());
    return value;
}

// Everything below folder, sorted: a folder left alone lists the same afterwards.
QStringList listing(const QString &folder)
{
    QStringList names;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext())
        names << it.next().mid(folder.size() + 1);
    names.sort();
    return names;
}

QStringList corruptCopies()
{
    QStringList paths;
    const QDir folder = QFileInfo(SettingsFile::defaultPath()).dir();
    for (const QFileInfo &copy : folder.entryInfoList({ u"settings.json.corrupt-*"_s }))
        paths << copy.filePath();
    return paths;
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Every setting: its default without a file (reading writes nothing) and for an unusable
    // stored value (left in the file), an assignment written
    // at once under its key in its stored form and notified once, read back by a new manager,
    // an equal assignment written but not notified, the assignment rule, and for the two
    // settings the index depends on, a reload asked for after every assignment.
    void everySetting_data()
    {
        QTest::addColumn<int>("index");
        for (size_t i = 0; i < settingRows().size(); ++i)
            QTest::newRow(settingRows()[i].property) << int(i);
    }
    void everySetting()
    {
        QFETCH(int, index);
        const SettingRow &row = settingRows()[size_t(index)];
        const char *name = row.property;
        TestHome home;
        const auto config = makeManager();
        QCOMPARE(config->property(name), inHome(row.byDefault));
        QVERIFY(!QFileInfo::exists(SettingsFile::defaultPath()));
        QVERIFY(!QFileInfo::exists(home.file(u".runel"_s)));
        const json unusable { { row.key, row.unusable } };
        writeFile(SettingsFile::defaultPath(), QByteArray::fromStdString(unusable.dump()));
        QCOMPARE(makeManager()->property(name), inHome(row.byDefault));
        QCOMPARE(dump(readSettings()), dump(unusable));
        QVERIFY(QFile::remove(SettingsFile::defaultPath()));

        const QMetaObject *meta = config->metaObject();
        QSignalSpy changed(
            config.get(), meta->property(meta->indexOfProperty(name)).notifySignal());
        QSignalSpy reloads(config.get(), &ConfigManager::reloadRequested);
        QVERIFY(config->setProperty(name, inHome(row.other)));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(config->property(name), inHome(row.other));
        QCOMPARE(dump(readSettings()), dump(json { { row.key, row.stored } }));
        QCOMPARE(makeManager()->property(name), inHome(row.other));

        QVERIFY(QFile::remove(SettingsFile::defaultPath()));
        QVERIFY(config->setProperty(name, inHome(row.other)));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(dump(readSettings()), dump(json { { row.key, row.stored } }));
        int assignments = 2;
        if (row.clampIn.isValid()) {
            QVERIFY(config->setProperty(name, row.clampIn));
            QCOMPARE(config->property(name), inHome(row.clampOut));
            QCOMPARE(makeManager()->property(name), inHome(row.clampOut));
            ++assignments;
        }
        const bool reindexes
            = QByteArray(name) == "scriptsDir" || QByteArray(name) == "enhanceLabels";
        QTRY_COMPARE(reloads.count(), reindexes ? assignments : 0);
        QCoreApplication::processEvents();
        QCOMPARE(reloads.count(), reindexes ? assignments : 0);
    }

    // An assignment or a removal rewrites only its own key: values of the wrong type and keys
    // this version does not know stay as they were.
    void assignmentKeepsTheRestOfTheFile()
    {
        TestHome home;
        const QByteArray others = R"({"isFirstLaunch": "no", "scriptDelay": "2", "scriptsDir": 1,
            "successSound": false, "autorunDelay": null, "shortcuts": "[]",
            "KeyboardShortcuts_toggle": {"code": 37}, "future": [1, null]})";
        const auto manager = managerWith(others);
        json expected = json::parse(others.toStdString());
        QVERIFY(manager->store().removeValue("KeyboardShortcuts_toggle"));
        expected.erase("KeyboardShortcuts_toggle");
        manager->setResultsVisibility(ResultsVisibility::never);
        expected["resultListVisibility"] = "never";
        QCOMPARE(dump(readSettings()), dump(expected));
    }

    void unparsableFileIsMovedAside_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("truncated object") << QByteArray("{\"scriptDelay\": 2");
        // Kept and written back, a document this deep would overflow the stack.
        QTest::newRow("nested too deeply")
            << "{\"a\": " + QByteArray(100000, '[') + QByteArray(100000, ']') + "}";
    }
    void unparsableFileIsMovedAside()
    {
        QFETCH(QByteArray, contents);
        TestHome home;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"moved to .*corrupt"_s));
        const auto config = managerWith(contents);

        const QStringList copies = corruptCopies();
        QCOMPARE(copies.size(), 1);
        const QString copy = copies.first();
        QVERIFY2(config->store().loadWarning().contains(copy),
            qPrintable(config->store().loadWarning()));
        QCOMPARE(config->scriptDelay(), 0.4);

        config->setScriptDelay(2);
        QCOMPARE(dump(readSettings()), u"{\"scriptDelay\":2.0}"_s);
        QCOMPARE(fileBytes(copy), contents);

        // A second bad file within the same second does not replace the first copy.
        writeFile(SettingsFile::defaultPath(), "{");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"moved to"_s));
        SettingsFile again(SettingsFile::defaultPath());
        QCOMPARE(corruptCopies().size(), 2);
        QCOMPARE(fileBytes(copy), contents);
    }

    // As root, permissions cannot make the file unreadable; a folder in its place can.
    void unreadableFileIsNeverOverwritten()
    {
        TestHome home;
        QVERIFY(QDir().mkpath(SettingsFile::defaultPath()));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"Cannot read"_s));
        const auto config = makeManager();
        QVERIFY(config->store().loadWarning().contains(SettingsFile::defaultPath()));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"not saved"_s));
        QVERIFY(!config->store().setValue("scriptDelay", 3));
        QVERIFY(!config->store().lastError().isEmpty());
        QVERIFY(corruptCopies().isEmpty());
    }

    // A full disk (here a file size limit) fails the write after a short one: the
    // file keeps its old bytes, nothing half-written is left beside it, and the failure says so.
    void aFailedWriteLeavesTheFileAsItWas()
    {
        TestHome home;
        const auto config = makeManager();
        config->setScriptDelay(2);
        const QByteArray before = fileBytes(SettingsFile::defaultPath());
        const QStringList filesBefore = QDir(QFileInfo(SettingsFile::defaultPath()).path())
                                            .entryList(QDir::Files | QDir::Hidden);
        {
            FileSizeLimit full { 10 };
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"not saved"_s));
            QVERIFY(!config->store().setValue("scriptDelay", 3));
        }
        QCOMPARE(fileBytes(SettingsFile::defaultPath()), before);
        QCOMPARE(QDir(QFileInfo(SettingsFile::defaultPath()).path())
                     .entryList(QDir::Files | QDir::Hidden),
            filesBefore);
        QVERIFY2(config->store().lastError().contains(u"File too large"_s),
            qPrintable(config->store().lastError()));
        QVERIFY(config->store().setValue("scriptDelay", 3));
        QVERIFY(config->store().lastError().isEmpty());
    }

    // Our own saves read back as no change; an edit that does not parse keeps the settings and
    // is never saved over until it is fixed; keys this object does not hold are kept too.
    void aBrokenEditIsNeverSavedOver()
    {
        TestHome home;
        const auto config = makeManager();
        config->watchStore();
        config->setResultsVisibility(ResultsVisibility::never);
        QVERIFY(!config->store().reloadFromDisk());
        QSignalSpy errorChanged(config.get(), &ConfigManager::storeErrorChanged);

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"cannot be read"_s));
        writeFile(SettingsFile::defaultPath(), "{\"scriptDelay\": ");
        QVERIFY(errorChanged.wait(5000));
        QCOMPARE(config->resultsVisibility(), ResultsVisibility::never);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"cannot be read"_s));
        config->setScriptDelay(3);
        QCOMPARE(fileBytes(SettingsFile::defaultPath()), QByteArray("{\"scriptDelay\": "));

        writeFile(
            SettingsFile::defaultPath(), R"({"scriptDelay": 1.5, "KeyboardShortcuts_x": false})");
        QVERIFY(errorChanged.wait(5000));
        QVERIFY(config->store().lastError().isEmpty());
        QCOMPARE(config->scriptDelay(), 1.5);
        QCOMPARE(config->resultsVisibility(), ResultsVisibility::immediately);
        QCOMPARE(config->store().value("KeyboardShortcuts_x"), json(false));
    }

    // A sibling of the home sharing its name as a prefix is no folder below it.
    void scriptsDirBesideTheHomeIsNotAbbreviated()
    {
        TestHome home;
        qputenv("HOME", home.file(u"ann"_s).toUtf8());
        const QString folder = home.file(u"anna/x"_s);
        const auto config = makeManager();
        config->setScriptsDir(folder);
        QCOMPARE(dump(readSettings()["scriptsDir"]), dump(json(folder.toStdString())));
        QCOMPARE(config->scriptsDir(), folder);
    }

    // The examples go only into a folder Runel creates or finds empty; a folder holding anything
    // at all is left exactly as it was. Choosing the folder in the settings does the same.
    void seedsOnlyANewOrEmptyFolder_data()
    {
        // Null: no folder; "name->target" a link.
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("seeded");
        QTest::newRow("empty folder") << u""_s << true;
        QTest::newRow("hidden file") << u".keep"_s << false;
        QTest::newRow("link that leads nowhere") << u"x->nowhere"_s << false;
    }
    void seedsOnlyANewOrEmptyFolder()
    {
        QFETCH(QString, entry);
        QFETCH(bool, seeded);
        TestHome home;
        const QString folder = home.file(u"chosen"_s);
        if (!entry.isNull())
            QVERIFY(QDir().mkpath(folder));
        if (entry.contains(u"->"_s))
            QVERIFY(QFile::link(
                entry.section(u"->"_s, 1), folder + u'/' + entry.section(u"->"_s, 0, 0)));
        else if (!entry.isEmpty())
            writeFile(folder + u'/' + entry, "mine\n");
        const QStringList before = listing(folder);

        // The store prepares the folder on its worker thread, before the scan that follows.
        const auto config = makeManager(u":/examples"_s);
        ScriptStore store(*config);
        QSignalSpy published(&store, &ScriptStore::scriptIndexChanged);
        config->setScriptsDir(folder);
        QVERIFY(published.wait(5000));
        QCOMPARE(listing(folder), seeded ? listing(u":/examples"_s) : before);
        QCOMPARE(store.scriptIndex()->file.entries.empty(), !seeded);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"

#include "SystemServices.h"
#include "TestEnvironment.h"
#include "execution/LogStore.h"
#include "hud/SearchViewModel.h"
#include "index/ScriptStore.h"
#include "settings/ConfigManager.h"

#include <QSignalSpy>
#include <QtTest>

using namespace runel;
using namespace Qt::StringLiterals;

namespace {

class FakeServices : public SystemServices {
public:
    QString clipboard;
    QStringList sounds;
    int beeps = 0;
    QString clipboardText() override { return clipboard; }
    void playSound(const QString &name) override { sounds.append(name); }
    void beep() override { ++beeps; }
    void open(const QString &) override { }
    void reveal(const QString &) override { }
};

using Kind = ExecutionStatus::Kind;
using Operation = std::function<void(SearchViewModel &)>;

// Counts every notification of a view model by signal name.
class NotificationSpy {
public:
    explicit NotificationSpy(SearchViewModel &model)
    {
        const QMetaObject &meta = SearchViewModel::staticMetaObject;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            const QMetaMethod method = meta.method(i);
            if (method.methodType() == QMetaMethod::Signal)
                m_spies.emplace_back(QString::fromLatin1(method.name()),
                    std::make_unique<QSignalSpy>(&model, method));
        }
    }
    QStringList emitted() const
    {
        QStringList names;
        for (const auto &[name, spy] : m_spies) {
            for (int n = 0; n < spy->count(); ++n)
                names << name;
        }
        names.sort();
        return names;
    }

private:
    std::vector<std::pair<QString, std::unique_ptr<QSignalSpy>>> m_spies;
};

} // namespace

Q_DECLARE_METATYPE(Operation)

// The HUD's state machine driven without a window, running real scripts. Each script echoes
// what it was given, so a test can see which script ran and with which parameters.
class TestViewModel : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<ConfigManager> m_config;
    std::unique_ptr<ScriptStore> m_store;
    std::unique_ptr<LogStore> m_log;
    FakeServices m_services;
    std::unique_ptr<SearchViewModel> m_model;
    int m_dismissals = 0;

    QString scripts() const { return m_home->file(QStringLiteral("scripts")); }
    void type(const QString &keys)
    {
        for (QChar c : keys)
            m_model->handleCharacter(QString(c));
    }
    Kind status() const { return m_model->executionStatus().kind(); }
    QString output() const { return m_model->latestOutput().value_or(QString()); }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        const QByteArray echo = "echo \"ran $(basename \"$0\") [$1] [$2]\"\n";
        writeFile(scripts() + QStringLiteral("/git/deploy.sh"), echo);
        writeFile(scripts() + QStringLiteral("/git/status.sh"), echo);
        writeFile(scripts() + QStringLiteral("/fail.sh"), "echo nope; exit 3\n");
        writeFile(scripts() + QStringLiteral("/hang.sh"), "echo started; exec sleep 60\n");
        writeFile(scripts() + QStringLiteral("/ask.sh"),
            "# @runel.argument {\"placeholder\": \"Query\", \"value\": \"q: {clipboard}\"}\n"
                + echo);
        writeFile(scripts() + QStringLiteral("/bg.sh"), "# @runel.output background\n" + echo);
        writeFile(scripts() + QStringLiteral("/menu.sh"),
            "echo '[{\"title\": \"Deploy\", \"script\": \"git/deploy.sh\"},"
            " {\"title\": \"Ask now\", \"script\": \"ask.sh\", \"arguments\": [\"given\"]},"
            " {\"title\": \"Ask me\", \"script\": \"ask.sh\"},"
            " {\"title\": \"Gone\", \"script\": \"gone.sh\"}]'\n");
        writeFile(scripts() + QStringLiteral("/web.sh"),
            "# @runel.fallback\n# @runel.ignore sequence\n" + echo);
        writeFile(scripts() + QStringLiteral("/url.sh"),
            "# @runel.fallback ^https?://\n# @runel.ignore sequence\n" + echo);
        writeFile(scripts() + QStringLiteral("/pin.sh"), "# @runel.pinned\n" + echo);

        auto settings = std::make_unique<SettingsFile>(SettingsFile::defaultPath());
        settings->setValue("scriptsDir", scripts().toStdString());
        settings->setValue("scriptDelay", 0.05);
        m_config = std::make_unique<ConfigManager>(std::move(settings), QString());
        m_store = std::make_unique<ScriptStore>(*m_config);
        QSignalSpy published(m_store.get(), &ScriptStore::scriptIndexChanged);
        m_store->reload();
        QVERIFY(published.wait());
        m_log = std::make_unique<LogStore>(m_home->file(QStringLiteral("logs")));
        m_services = FakeServices();
        m_model = std::make_unique<SearchViewModel>(*m_config, *m_store, *m_log, m_services);
        m_dismissals = 0;
        m_model->setOnDismiss([this] { ++m_dismissals; });
    }
    void cleanup()
    {
        m_model.reset();
        m_log.reset();
        m_store.reset();
        m_config.reset();
        m_home.reset();
    }

    void fullMatchRunsAfterTheDelayAndCloses()
    {
        type(QStringLiteral("gd"));
        QVERIFY(m_model->isRunPending());
        QCOMPARE(m_model->evaluation().matchedLabels,
            (std::vector<QString> { QStringLiteral("Git"), QStringLiteral("Deploy") }));
        QTRY_COMPARE(status(), Kind::succeeded);
        QCOMPARE(output(), QStringLiteral("ran deploy.sh [] []"));
        QCOMPARE(m_services.sounds, QStringList()); // success sound is "None" by default
        QTRY_COMPARE(m_dismissals, 1);
        QCOMPARE(m_log->runs().size(), 1);
        QCOMPARE(m_log->runs().front()->exitStatus(), RunExitStatus::success);
    }

    void furtherKeysReplaceThePendingRun()
    {
        m_config->setScriptDelay(30);
        type(QStringLiteral("g"));
        QVERIFY(!m_model->isRunPending()); // two prefix matches
        type(QStringLiteral("d"));
        QVERIFY(m_model->isRunPending());
        m_model->handleBackspace();
        QVERIFY(!m_model->isRunPending());
        QCOMPARE(m_model->keys().size(), size_t(1));
        type(QStringLiteral("s"));
        QVERIFY(m_model->isRunPending());
        m_model->moveSelectionDown(); // browsing cancels the run
        QVERIFY(!m_model->isRunPending());
    }

    // One operation: each field that changed notifies once, after the whole state is updated;
    // an operation that changes nothing says nothing.
    void notifications_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QStringList>("expected");
        const auto type = [](const char *keys) {
            return [keys](SearchViewModel &model) {
                for (const char *c = keys; *c; ++c)
                    model.handleCharacter(QString(QLatin1Char(*c)));
            };
        };
        QTest::newRow("key that begins two scripts")
            << QString() << Operation(type("g"))
            << QStringList { u"changed"_s, u"evaluationChanged"_s, u"keysChanged"_s,
                   u"shouldShowResultsPanelChanged"_s };
        QTest::newRow("key that names nothing") << u"g"_s << Operation(type("x")) << QStringList();
        QTest::newRow("tab carries the keys into search")
            << u"g"_s << Operation([](SearchViewModel &model) { model.toggleSearchMode(); })
            << QStringList { u"changed"_s, u"evaluationChanged"_s, u"isInputBlockedChanged"_s,
                   u"isSearchModeChanged"_s, u"keysChanged"_s, u"searchFilterTextChanged"_s,
                   u"searchResultsChanged"_s };
        QTest::newRow("equal search text") << u"\t"_s << Operation([](SearchViewModel &model) {
            model.searchTextChanged(QString());
        }) << QStringList();
        QTest::newRow("browsing moves the selection")
            << u"g"_s << Operation([](SearchViewModel &model) { model.moveSelectionUp(); })
            << QStringList { u"changed"_s, u"isBrowsingResultsChanged"_s,
                   u"selectedIndexChanged"_s };
    }
    void notifications()
    {
        QFETCH(QString, before);
        QFETCH(Operation, operation);
        QFETCH(QStringList, expected);
        m_config->setScriptDelay(30);
        if (before == u"\t")
            m_model->toggleSearchMode();
        else
            type(before);
        // What a view reads when told the keys changed is already the state that goes with them.
        std::vector<std::pair<size_t, size_t>> seen;
        connect(m_model.get(), &SearchViewModel::keysChanged, this, [&] {
            seen.emplace_back(m_model->keys().size(), m_model->evaluation().matchedLabels.size());
        });
        NotificationSpy spy(*m_model);
        operation(*m_model);
        QCOMPARE(spy.emitted(), expected);
        for (const auto &[keys, labels] : seen)
            QCOMPARE(labels, keys);
    }

    // A key that names nothing ends the play and nothing runs: the keys before it stay shown.
    void runSequencePlaysKeys_data()
    {
        QTest::addColumn<QString>("sequence");
        QTest::addColumn<QString>("ran");
        QTest::addColumn<int>("beeps");
        QTest::addColumn<QString>("shown");
        QTest::newRow("names one script") << u"gd"_s << u"ran deploy.sh [] []"_s << 0 << u"gd"_s;
        QTest::newRow("keys after the named script are not needed")
            << u"gdq"_s << u"ran deploy.sh [] []"_s << 0 << u"gd"_s;
        QTest::newRow("unknown key inside") << u"gxd"_s << QString() << 1 << u"g"_s;
        QTest::newRow("unknown keys first") << u"qqqh"_s << QString() << 1 << QString();
        QTest::newRow("keys that still begin several") << u"g"_s << QString() << 0 << u"g"_s;
    }
    void runSequencePlaysKeys()
    {
        QFETCH(QString, sequence);
        QFETCH(QString, ran);
        QFETCH(int, beeps);
        QFETCH(QString, shown);
        m_model->runSequence(sequence);
        QCOMPARE(m_services.beeps, beeps);
        QCOMPARE(joinedKeys(m_model->keys()), shown);
        QVERIFY(!m_model->isRunPending());
        if (ran.isEmpty()) {
            QCOMPARE(status(), Kind::idle);
            QVERIFY(m_log->runs().empty());
        } else {
            QTRY_COMPARE(status(), Kind::succeeded);
            QCOMPARE(output(), ran);
        }
    }

    void unknownKeyBeepsOrSearches()
    {
        type(QStringLiteral("gx"));
        QCOMPARE(m_services.beeps, 1);
        QCOMPARE(m_model->keys().size(), size_t(1));
        m_config->setSearchOnUnknownKey(true);
        type(QStringLiteral("x"));
        QVERIFY(m_model->isSearchMode());
        QCOMPARE(m_model->searchFilterText(), QStringLiteral("gx"));
        QVERIFY(m_model->keys().empty());
    }

    void tabCarriesKeysIntoSearchAndBack()
    {
        type(QStringLiteral("g"));
        m_model->toggleSearchMode();
        QVERIFY(m_model->isSearchMode());
        QCOMPARE(m_model->searchFilterText(), QStringLiteral("g"));
        type(QStringLiteral("it"));
        QCOMPARE(m_model->searchFilterText(), QStringLiteral("git"));
        m_model->toggleSearchMode();
        QVERIFY(!m_model->isSearchMode());
        QCOMPARE(m_model->searchFilterText(), QString());
        QVERIFY(m_model->keys().empty());
    }

    void selectionWrapsAndEnterRunsTheRow()
    {
        m_config->setScriptDelay(30);
        type(QStringLiteral("g"));
        QCOMPARE(m_model->evaluation().resultItems.size(), size_t(2));
        m_model->moveSelectionDown(); // panel hidden: only shows it
        QCOMPARE(m_model->selectedIndex(), 0);
        QVERIFY(m_model->isBrowsingResults());
        m_model->setResultsPanelVisible(true);
        m_model->moveSelectionDown();
        m_model->moveSelectionDown();
        QCOMPARE(m_model->selectedIndex(), 0);
        m_model->moveSelectionUp();
        QCOMPARE(m_model->selectedIndex(), 1);
        m_model->handleEnter(QStringLiteral("alt"));
        QCOMPARE(status(), Kind::runningForeground);
        QTRY_COMPARE(status(), Kind::succeeded);
        QCOMPARE(output(), QStringLiteral("ran status.sh [alt] []"));
    }

    void escapeClearsThenCloses()
    {
        type(QStringLiteral("g"));
        m_model->handleEscape();
        QVERIFY(m_model->keys().empty());
        QCOMPARE(m_dismissals, 0);
        m_model->handleEscape();
        QCOMPARE(m_dismissals, 1);
    }

    void runningBlocksInputAndControlCCancels()
    {
        type(QStringLiteral("h"));
        QTRY_COMPARE(status(), Kind::runningForeground);
        QTRY_COMPARE(output(), QStringLiteral("started"));
        type(QStringLiteral("g"));
        m_model->handleEscape();
        m_model->toggleSearchMode();
        QVERIFY(m_model->keys().empty() || m_model->keys().size() == 1);
        QVERIFY(!m_model->isSearchMode());
        QCOMPARE(m_dismissals, 0);
        m_model->handleCancel();
        QTRY_COMPARE(status(), Kind::idle);
        QVERIFY(m_model->keys().empty());
        QCOMPARE(m_services.sounds, QStringList());
        QTRY_COMPARE(m_log->runs().front()->exitStatus(), RunExitStatus::cancelled);
    }

    void failureShowsTheMessageAndSound()
    {
        type(QStringLiteral("f"));
        QTRY_COMPARE(status(), Kind::failed);
        QCOMPARE(*m_model->executionStatus().message(), QStringLiteral("Fail exited with code 3"));
        QCOMPARE(m_services.sounds, QStringList { QStringLiteral("dialog-error") });
        QTRY_COMPARE(m_dismissals, 1);
    }

    void argumentTakesTheClipboardOnOneLine()
    {
        m_services.clipboard = QStringLiteral("two\nlines\r");
        type(QStringLiteral("a"));
        QTRY_COMPARE(status(), Kind::awaitingArgument);
        QCOMPARE(m_model->executionStatus().argument()->value, QStringLiteral("q: two lines "));
        QCOMPARE(m_model->executionStatus().argument()->placeholder, QStringLiteral("Query"));
        QVERIFY(!m_model->shouldShowResultsPanel());
        m_model->confirmArgument(QStringLiteral("hello"), QStringLiteral("ctrl"));
        QTRY_COMPARE(status(), Kind::succeeded);
        QCOMPARE(output(), QStringLiteral("ran ask.sh [ctrl] [hello]"));

        m_services.clipboard.clear();
        m_model->runSequence(QStringLiteral("a"));
        QCOMPARE(m_model->executionStatus().argument()->value, QStringLiteral("q: "));
    }

    void scriptListsRunTheirEntries()
    {
        type(QStringLiteral("m"));
        QTRY_COMPARE(status(), Kind::showingList);
        QCOMPARE(output(), QStringLiteral("Menu"));
        QCOMPARE(m_model->filteredList().size(), size_t(4));
        m_model->listFilterChanged(QStringLiteral("ask"));
        QCOMPARE(m_model->filteredList().size(), size_t(2));
        // An entry with arguments runs at once, whatever the script's own prompt.
        m_model->confirmListEntry(QStringLiteral("shift"));
        QTRY_COMPARE(status(), Kind::succeeded);
        QCOMPARE(output(), QStringLiteral("ran ask.sh [shift] [given]"));
    }

    void listEntriesPromptOrFail()
    {
        type(QStringLiteral("m"));
        QTRY_COMPARE(status(), Kind::showingList);
        m_model->listFilterChanged(QStringLiteral("ask me"));
        m_model->confirmListEntry(QString());
        QCOMPARE(status(), Kind::awaitingArgument);

        m_model->handleEscape();
        type(QStringLiteral("m"));
        QTRY_COMPARE(status(), Kind::showingList);
        m_model->activateRow(3, QString());
        QCOMPARE(
            *m_model->executionStatus().message(), QStringLiteral("Script not found: gone.sh"));
        QCOMPARE(m_services.sounds, QStringList { QStringLiteral("dialog-error") });
        QTRY_COMPARE(m_dismissals, 1);
    }

    void cancellingAListCloses()
    {
        type(QStringLiteral("m"));
        QTRY_COMPARE(status(), Kind::showingList);
        m_model->cancelList();
        QCOMPARE(status(), Kind::idle);
        QCOMPARE(m_dismissals, 1);
    }

    void searchOffersFallbacksWithTheText()
    {
        m_model->toggleSearchMode();
        m_model->searchTextChanged(QStringLiteral("https://example.org"));
        std::vector<SearchResult> results = m_model->searchResults();
        QCOMPARE(results.size(), size_t(2)); // the pattern, then the catch-all
        QCOMPARE(results[0].block, SearchBlock::patternFallback);
        QCOMPARE(results[1].block, SearchBlock::enabledFallback);
        m_model->moveSearchSelection(1);
        m_model->confirmSearch();
        QVERIFY(!m_model->isSearchMode());
        QTRY_COMPARE(status(), Kind::succeeded);
        QCOMPARE(output(), QStringLiteral("ran web.sh [] [https://example.org]"));
    }

    void backgroundRunsCloseTheHudAtOnce()
    {
        m_model->runSequence(QStringLiteral("b"));
        QCOMPARE(m_dismissals, 1);
        QCOMPARE(status(), Kind::idle);
        QTRY_COMPARE(m_log->runs().size(), 1);
        QTRY_COMPARE(m_log->runs().front()->exitStatus(), RunExitStatus::success);
        QTRY_COMPARE(m_services.sounds, QStringList { QStringLiteral("complete") });
    }

    void autorunStartsAPinnedFirstRow()
    {
        m_config->setScriptDelay(30);
        m_config->setAutorunEnabled(true);
        m_config->setAutorunDelay(0.05);
        type(QStringLiteral("p"));
        QVERIFY(m_model->isAutorunPending());
        QTRY_COMPARE(status(), Kind::succeeded);
        QCOMPARE(output(), QStringLiteral("ran pin.sh [] []"));

        // Named completely, the run timer starts it first: the autorun must not start it again.
        m_config->setScriptDelay(0.01);
        m_config->setAutorunDelay(30);
        m_model = std::make_unique<SearchViewModel>(*m_config, *m_store, *m_log, m_services);
        type(QStringLiteral("p"));
        QVERIFY(m_model->isAutorunPending());
        QTRY_COMPARE(status(), Kind::succeeded);
        QVERIFY(!m_model->isAutorunPending());
        m_model->runSequence(QStringLiteral("p"));
        QVERIFY(!m_model->isAutorunPending() && !m_model->isRunPending());
    }

    // The view model follows a new index by itself, and reloads wait for a foreground run.
    void followsTheStoresIndex()
    {
        m_config->setScriptDelay(30);
        type(QStringLiteral("g"));
        writeFile(scripts() + QStringLiteral("/git/log.sh"));
        QSignalSpy evaluated(m_model.get(), &SearchViewModel::evaluationChanged);
        m_store->reload();
        QVERIFY(evaluated.wait());
        QCOMPARE(m_model->evaluation().resultItems.size(), size_t(3));

        m_model->toggleSearchMode();
        m_model->searchTextChanged(QStringLiteral("log"));
        QCOMPARE(m_model->searchResults().size(), size_t(1));
        // Read per row by a view: the same results until the text or the index changes.
        QCOMPARE(m_model->searchResults().data(), m_model->searchResults().data());
        QVERIFY(QFile::remove(scripts() + QStringLiteral("/git/log.sh")));
        QSignalSpy searched(m_model.get(), &SearchViewModel::searchResultsChanged);
        m_store->reload();
        QVERIFY(searched.wait());
        QCOMPARE(m_model->searchResults().size(), size_t(1));
        QCOMPARE(m_model->searchResults().front().block, SearchBlock::enabledFallback);

        m_model->runSequence(QStringLiteral("h"));
        QTRY_COMPARE(status(), Kind::runningForeground);
        const int generation = m_store->reloadGeneration();
        m_model->reloadScripts();
        QCOMPARE(m_store->reloadGeneration(), generation);
        m_model->handleCancel();
        QTRY_COMPARE(status(), Kind::idle);
    }

    // "Scripts reloaded" shows its full time after the latest of two reloads.
    void refreshMessageFollowsTheLatestReload()
    {
        QSignalSpy published(m_store.get(), &ScriptStore::scriptIndexChanged);
        m_model->reloadScripts();
        QVERIFY(published.wait());
        m_model->reloadScripts();
        QVERIFY(published.wait());
        QElapsedTimer sinceLatest;
        sinceLatest.start();
        QCOMPARE(m_model->refreshMessage(), QStringLiteral("Scripts reloaded"));
        QTRY_VERIFY_WITH_TIMEOUT(!m_model->refreshMessage(), 5000);
        QVERIFY(sinceLatest.elapsed() >= SearchViewModel::refreshMessageMs - 50);
    }

    void folderRowTypesItsKeys()
    {
        m_config->setScriptDelay(30);
        writeFile(scripts() + QStringLiteral("/gadgets/x.sh"));
        QSignalSpy published(m_store.get(), &ScriptStore::scriptIndexChanged);
        m_model->reloadScripts();
        QVERIFY(published.wait());

        type(QStringLiteral("g"));
        const auto &rows = m_model->evaluation().resultItems;
        const auto folder = std::find_if(rows.begin(), rows.end(), [](const ListItem &row) {
            return row.isFolder() && row.folderRow().rawName == u"git";
        });
        QVERIFY(folder != rows.end());
        m_model->setResultsPanelVisible(true);
        while (m_model->selectedIndex() != int(folder - rows.begin()))
            m_model->moveSelectionDown();
        m_model->handleEnter(QString());
        QCOMPARE(m_model->keys(), (KeyGroup { QStringLiteral("g"), QStringLiteral("i") }));
    }
};

QTEST_GUILESS_MAIN(TestViewModel)
#include "tst_viewmodel.moc"

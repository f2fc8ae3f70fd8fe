#include "SystemServices.h"
#include "TestEnvironment.h"
#include "execution/LogStore.h"
#include "hud/SearchViewModel.h"
#include "index/ScriptStore.h"
#include "settings/ConfigManager.h"

#include <QSignalSpy>
#include <QtTest>

using namespace runel;

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

} // namespace

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
    }

    void folderRowTypesItsKeys()
    {
        m_config->setScriptDelay(30);
        writeFile(scripts() + QStringLiteral("/gadgets/x.sh"));
        QSignalSpy published(m_store.get(), &ScriptStore::scriptIndexChanged);
        m_model->reloadScripts();
        QVERIFY(published.wait());
        QCOMPARE(m_model->refreshMessage(), QStringLiteral("Scripts reloaded"));
        QTRY_VERIFY_WITH_TIMEOUT(!m_model->refreshMessage(), 3000);

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

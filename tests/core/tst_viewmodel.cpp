#include "TestEnvironment.h"

#include <QtTest>

using namespace runel;
using namespace Qt::StringLiterals;
using Kind = ExecutionStatus::Kind;

namespace {

// Each script echoes what it was given, so a test sees which script ran with which parameters.
QList<std::pair<QString, QByteArray>> scripts()
{
    const QByteArray echo = "echo \"ran $(basename \"$0\") [$1] [$2]\"\n";
    return {
        { u"git/deploy.sh"_s, echo },
        { u"git/status.sh"_s, echo },
        { u"fail.sh"_s, "echo nope; exit 3\n" },
        { u"hang.sh"_s, "echo started; exec sleep 60\n" },
        { u"ask.sh"_s,
            "# @runel.argument {\"placeholder\": \"Query\", \"value\": \"q: {clipboard}\"}\n"
                + echo },
        { u"bg.sh"_s, "# @runel.output background\n" + echo },
        { u"menu.sh"_s,
            "echo '[{\"title\": \"Deploy\", \"script\": \"git/deploy.sh\"},"
            " {\"title\": \"Ask now\", \"script\": \"ask.sh\", \"arguments\": [\"given\"]},"
            " {\"title\": \"Ask me\", \"script\": \"ask.sh\"},"
            " {\"title\": \"Gone\", \"script\": \"gone.sh\"}]'\n" },
        { u"web.sh"_s, "# @runel.fallback\n# @runel.ignore sequence\n" + echo },
        { u"url.sh"_s, "# @runel.fallback ^https?://\n# @runel.ignore sequence\n" + echo },
        { u"pin.sh"_s, "# @runel.pinned\n" + echo },
    };
}

} // namespace

// The HUD's state machine driven without a window, running real scripts.
class TestViewModel : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<HudStack> m_stack;
    int m_dismissals = 0;

    SearchViewModel &model() { return *m_stack->viewModel; }
    ConfigManager &config() { return *m_stack->config; }
    Kind status() { return model().executionStatus().kind(); }
    QString scriptPath(const QString &relative)
    {
        return m_stack->home.file(u"scripts/"_s + relative);
    }
    void type(const QString &keys)
    {
        for (QChar c : keys)
            model().handleCharacter(QString(c));
    }
    void reloadAndWait()
    {
        QSignalSpy published(m_stack->store.get(), &ScriptStore::scriptIndexChanged);
        model().reloadScripts();
        QVERIFY(published.wait());
    }

    // The HUD's state on one line, each part only when it applies: the keys, "search:text",
    // "pending", "browsing", "row:N", the run's status, what it shows in quotes (the failure
    // message, the argument field or the output), "entries:N" of a list, the sounds, "beeps:N",
    // the newest logged run's exit status and "closed:N".
    QString state()
    {
        static const QStringList kinds { u"argument"_s, u"list"_s, u"failed"_s, QString(),
            u"running"_s, u"succeeded"_s };
        static const QStringList exits { u"success"_s, u"failure"_s, u"cancelled"_s };
        const ExecutionStatus &execution = model().executionStatus();
        const QString shown = execution.message() ? *execution.message()
            : execution.argument()                ? execution.argument()->value
                                                  : model().latestOutput().value_or(QString());
        const auto &runs = m_stack->log->runs();
        QStringList parts { joinedKeys(model().keys()) };
        if (model().isSearchMode())
            parts << u"search:"_s + model().searchFilterText();
        if (model().isRunPending())
            parts << u"pending"_s;
        if (model().isBrowsingResults())
            parts << u"browsing"_s;
        if (model().selectedIndex() != 0)
            parts << u"row:%1"_s.arg(model().selectedIndex());
        parts << kinds.value(int(status()));
        if (!shown.isEmpty())
            parts << u'"' + shown + u'"';
        if (status() == Kind::showingList)
            parts << u"entries:%1"_s.arg(model().filteredList().size());
        for (const QString &sound : m_stack->services.sounds)
            parts << u"sound:"_s + sound;
        if (m_stack->services.beeps)
            parts << u"beeps:%1"_s.arg(m_stack->services.beeps);
        if (!runs.empty() && runs.back()->exitStatus())
            parts << u"logged:"_s + exits.value(int(*runs.back()->exitStatus()));
        if (m_dismissals)
            parts << u"closed:%1"_s.arg(m_dismissals);
        parts.removeAll(QString());
        return parts.join(u' ');
    }

    // Plays steps written "verb argument" and separated by ", ": type KEYS, sequence KEYS, tab,
    // backspace, up, down, panel (shown), enter MODIFIERS, unknownKeySearches, search TEXT, next
    // (search row), confirm (search), filter TEXT (list), entry MODIFIERS, row N,
    // delete SCRIPT (from the folder, not the index); "is STATE" checks the state now, "until
    // STATE" waits for it.
    void play(const QString &steps)
    {
        SearchViewModel &m = model();
        QString text;
        const QHash<QString, std::function<void()>> verbs {
            { u"type"_s, [&] { type(text); } },
            { u"sequence"_s, [&] { m.runSequence(text); } },
            { u"tab"_s, [&] { m.toggleSearchMode(); } },
            { u"backspace"_s, [&] { m.handleBackspace(); } },
            { u"up"_s, [&] { m.moveSelectionUp(); } },
            { u"down"_s, [&] { m.moveSelectionDown(); } },
            { u"panel"_s, [&] { m.setResultsPanelVisible(true); } },
            { u"enter"_s, [&] { m.handleEnter(text); } },
            { u"unknownKeySearches"_s, [&] { config().setSearchOnUnknownKey(true); } },
            { u"search"_s, [&] { m.searchTextChanged(text); } },
            { u"next"_s, [&] { m.moveSearchSelection(1); } },
            { u"confirm"_s, [&] { m.confirmSearch(); } },
            { u"filter"_s, [&] { m.listFilterChanged(text); } },
            { u"entry"_s, [&] { m.confirmListEntry(text); } },
            { u"row"_s, [&] { m.activateRow(text.toInt(), QString()); } },
            { u"delete"_s, [&] { QVERIFY(QFile::remove(scriptPath(text))); } },
        };
        for (const QString &step : steps.split(u", "_s, Qt::SkipEmptyParts)) {
            const QString verb = step.section(u' ', 0, 0);
            text = step.section(u' ', 1);
            if (verb == u"is")
                QCOMPARE(state(), text);
            else if (verb == u"until")
                QTRY_COMPARE(state(), text);
            else if (verbs.contains(verb))
                verbs[verb]();
            else
                QFAIL(qPrintable(u"unknown step: "_s + step));
        }
    }

private Q_SLOTS:
    void init()
    {
        m_stack = std::make_unique<HudStack>(scripts());
        QVERIFY(m_stack->loaded);
        m_dismissals = 0;
        model().setOnDismiss([this] { ++m_dismissals; });
        // What a view reads when told the keys changed is already the state that goes with them.
        connect(&model(), &SearchViewModel::keysChanged, this, [this] {
            QCOMPARE(model().evaluation(),
                evaluateKeys(model().keys(), m_stack->store->scriptIndex()->sequence.reachableItems,
                    config().enhanceLabels()));
        });
    }
    void cleanup() { m_stack.reset(); }

    // Keys, runs and how each ends. "wait" rows keep the run delay long, so that a scheduled
    // run stays pending.
    void behaviour_data()
    {
        QTest::addColumn<bool>("wait");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("expected");
        const auto row
            = [](const char *name, bool wait, const QString &steps, const QString &expected) {
                  QTest::newRow(name) << wait << steps << expected;
              };
        // Keys before anything runs.
        row("backspace cancels the pending run", true, u"type gd, backspace"_s, u"g"_s);
        row("browsing cancels the pending run", true, u"type gs, down"_s, u"gs browsing"_s);
        row("the first move down only shows a hidden panel", true, u"type g, down"_s,
            u"g browsing"_s);
        row("an unknown key beeps and is dropped", true, u"type gx"_s, u"g beeps:1"_s);
        row("an unknown key opens search when asked", true, u"unknownKeySearches, type gx"_s,
            u"search:gx"_s);
        const QString menu = u"type m, until m list \"Menu\" entries:4 logged:success, "_s;
        // Sequences played at once: a key that names nothing ends the play and nothing runs.
        row("keys after the named script are not needed", true, u"sequence gdq"_s,
            u"gd succeeded \"ran deploy.sh [] []\" logged:success closed:1"_s);
        // Runs and how they end.
        row("a full match runs after the delay, quietly, and closes", false, u"type gd"_s,
            u"gd succeeded \"ran deploy.sh [] []\" logged:success closed:1"_s);
        row("a failure shows its message and the error sound", false, u"type f"_s,
            u"f failed \"Fail exited with code 3\" sound:dialog-error logged:failure closed:1"_s);
        row("enter runs the selected row with its modifiers", true,
            u"type g, panel, up, enter alt"_s,
            u"g browsing row:1 succeeded \"ran status.sh [alt] []\" logged:success closed:1"_s);
        row("a list entry with arguments runs at once, whatever its script asks", false,
            menu + u"filter ask, until m list \"Menu\" entries:2 logged:success, entry shift"_s,
            u"m succeeded \"ran ask.sh [shift] [given]\" logged:success closed:1"_s);
        row("a list entry without arguments asks for one", false, menu + u"filter ask me, entry"_s,
            u"m argument \"q: \" logged:success"_s);
        row("a list entry naming a missing script fails", false, menu + u"row 3"_s,
            u"m failed \"Script not found: gone.sh\" sound:dialog-error logged:success closed:1"_s);
        row("a script deleted since the index was read runs nothing", false,
            u"delete git/deploy.sh, sequence gd"_s,
            u"gd failed \"Nothing was run: git/deploy.sh was moved or deleted. The scripts are "
            u"reloading; try again.\" sound:dialog-error closed:1"_s);
        row("search runs the chosen fallback with the text", false,
            u"tab, search https://example.org, next, confirm"_s,
            u"succeeded \"ran web.sh [] [https://example.org]\" logged:success closed:1"_s);
        row("a background run closes the HUD at once", false, u"sequence b, is b closed:1"_s,
            u"b sound:complete logged:success closed:1"_s);
    }
    void behaviour()
    {
        QFETCH(bool, wait);
        QFETCH(QString, steps);
        if (wait)
            config().setScriptDelay(30);
        play(steps);
        QFETCH(QString, expected);
        QTRY_COMPARE(state(), expected);
    }

    // A pinned first row starts after the autorun delay; named completely, the run timer starts
    // it first and the autorun must not start it again.
    void autorunStartsAPinnedFirstRowOnce()
    {
        config().setScriptDelay(30);
        config().setAutorunEnabled(true);
        config().setAutorunDelay(0.05);
        type(u"p"_s);
        QVERIFY(model().isAutorunPending());
        QTRY_COMPARE(status(), Kind::succeeded);
        QCOMPARE(model().latestOutput(), u"ran pin.sh [] []"_s);

        config().setScriptDelay(0.01);
        config().setAutorunDelay(30);
        m_stack->viewModel = std::make_unique<SearchViewModel>(
            config(), *m_stack->store, *m_stack->log, m_stack->services);
        type(u"p"_s);
        QVERIFY(model().isAutorunPending());
        QTRY_COMPARE(status(), Kind::succeeded);
        QVERIFY(!model().isAutorunPending());
        model().runSequence(u"p"_s);
        QVERIFY(!model().isAutorunPending() && !model().isRunPending());
    }

    // The view model follows a new index by itself, and reloads wait for a foreground run.
    void followsTheStoresIndex()
    {
        config().setScriptDelay(30);
        type(u"g"_s);
        writeFile(scriptPath(u"git/log.sh"_s));
        QSignalSpy evaluated(&model(), &SearchViewModel::evaluationChanged);
        m_stack->store->reload();
        QVERIFY(evaluated.wait());
        QCOMPARE(model().evaluation().resultItems.size(), size_t(3));

        model().toggleSearchMode();
        model().searchTextChanged(u"log"_s);
        QCOMPARE(model().searchResults().size(), size_t(1));
        // Read per row by a view: the same results until the text or the index changes.
        QCOMPARE(model().searchResults().data(), model().searchResults().data());

        model().runSequence(u"h"_s);
        QTRY_COMPARE(status(), Kind::runningForeground);
        const int generation = m_stack->store->reloadGeneration();
        model().reloadScripts();
        QCOMPARE(m_stack->store->reloadGeneration(), generation);
        model().handleCancel();
        QTRY_COMPARE(status(), Kind::idle);
    }

    void folderRowTypesItsKeys()
    {
        config().setScriptDelay(30);
        writeFile(scriptPath(u"gadgets/x.sh"_s));
        reloadAndWait();
        type(u"g"_s);
        const auto &rows = model().evaluation().resultItems;
        const auto folder = std::find_if(rows.begin(), rows.end(), [](const ListItem &row) {
            return row.isFolder() && row.folderRow().rawName == u"git";
        });
        QVERIFY(folder != rows.end());
        model().setResultsPanelVisible(true);
        while (model().selectedIndex() != int(folder - rows.begin()))
            model().moveSelectionDown();
        model().handleEnter(QString());
        QCOMPARE(model().keys(), (KeyGroup { u"g"_s, u"i"_s }));
    }
};

QTEST_GUILESS_MAIN(TestViewModel)
#include "tst_viewmodel.moc"

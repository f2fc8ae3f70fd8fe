#include "TestEnvironment.h"
#include "hud/HUDTextField.h"
#include "hud/KeyBoxRow.h"
#include "hud/KeyEventHandler.h"
#include "hud/ResultsWindowView.h"
#include "hud/SearchView.h"
#include "hud/SearchWindowController.h"
#include "hud/StatusIcon.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QScreen>
#include <QtTest>

using namespace runel;
using namespace runel::gui;
using Kind = ExecutionStatus::Kind;

namespace {

QPalette themePalette(bool dark)
{
    QPalette palette = dark ? QPalette(QColor(0x30, 0x30, 0x30), QColor(0x24, 0x24, 0x24))
                            : QPalette(QColor(0xf6, 0xf6, 0xf6));
    if (dark) {
        palette.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
        palette.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    }
    palette.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
    return palette;
}

// Every script says which one ran and with what.
const QByteArray echo = "echo \"ran $(basename \"$0\") [$1] [$2]\"\n";

} // namespace

// The HUD on screen, driven with key events through its real windows into a real view model
// that runs real scripts. Tests that show a state save pictures of both panels in a light and
// a dark palette for people to look at (no pixel assertions).
class TestHudWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<HudStack> m_stack;
    std::unique_ptr<SearchWindowController> m_controller;
    int m_closed = 0;

    SearchViewModel &viewModel() { return *m_stack->viewModel; }
    SearchView &hud() { return *m_controller->searchView(); }
    QWidget *focused() const { return QApplication::focusWidget(); }
    QStringList keyBoxes() { return hud().keyBoxes()->keys(); }
    bool resultsShown() const
    {
        return m_controller->resultsWindow() && m_controller->resultsWindow()->isVisible();
    }

    void open()
    {
        m_controller = std::make_unique<SearchWindowController>(*m_stack->config);
        connect(m_controller.get(), &SearchWindowController::closed, this, [this] { ++m_closed; });
        m_controller->show(viewModel());
        QVERIFY(QTest::qWaitForWindowActive(m_controller->hudWindow()));
    }

    // Key presses go where the user's would: to the focused widget of the HUD.
    void type(const QString &text)
    {
        for (QChar c : text)
            QTest::keyClick(focused(), c.toLatin1());
    }
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(focused(), key, modifiers);
    }

    void snap(const QString &name)
    {
        const int scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR") ? 200 : 100;
        QDir().mkpath(QStringLiteral(RUNEL_HUD_PICTURES));
        const QPalette saved = QApplication::palette();
        for (const bool dark : { false, true }) {
            const QString theme = dark ? QStringLiteral("dark") : QStringLiteral("light");
            QApplication::setPalette(themePalette(dark));
            QApplication::processEvents();
            const QString stem
                = QStringLiteral(RUNEL_HUD_PICTURES "/%1-%2-%3").arg(name, theme).arg(scale);
            QVERIFY(m_controller->hudWindow()->grab().save(stem + QStringLiteral("-hud.png")));
            if (resultsShown())
                QVERIFY(m_controller->resultsWindow()->grab().save(
                    stem + QStringLiteral("-results.png")));
        }
        QApplication::setPalette(saved);
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("RUNEL_REDUCE_MOTION", "1"); // no shimmer running through the pictures
        QApplication::setPalette(themePalette(false));
    }

    void init()
    {
        m_stack = std::make_unique<HudStack>(QList<std::pair<QString, QByteArray>> {
            { QStringLiteral("git/deploy.sh"), echo },
            { QStringLiteral("git/status.sh"), echo },
            { QStringLiteral("tools/alpha.sh"), echo },
            { QStringLiteral("tools/beta.sh"), echo },
            { QStringLiteral("tools/build release notes.sh"),
                "# @runel.label Build Release Notes\n# @runel.pinned\n" + echo },
            { QStringLiteral("hang.sh"), "echo working on it; exec sleep 60\n" },
            { QStringLiteral("ask.sh"),
                "# @runel.argument {\"placeholder\": \"Query\", \"value\": \"q: {clipboard}\"}\n"
                    + echo },
            { QStringLiteral("menu.sh"),
                "echo '[{\"title\": \"Deploy\", \"subtitle\": \"to production\", "
                "\"script\": \"git/deploy.sh\"},"
                " {\"title\": \"Ask now\", \"script\": \"ask.sh\", \"arguments\": [\"given\"]},"
                " {\"title\": \"Status\", \"icon\": \"folder.fill\", \"script\": "
                "\"git/status.sh\"}]'\n" },
        });
        QVERIFY(m_stack->loaded);
        m_closed = 0;
        open();
    }
    void cleanup()
    {
        m_controller.reset();
        m_stack.reset();
    }

    void placesBothPanels()
    {
        QWidget *window = m_controller->hudWindow();
        QCOMPARE(window->width(), 420);
        QVERIFY(window->windowFlags().testFlags(
            Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));
        const QRect area = window->screen()->availableGeometry();
        QCOMPARE(window->geometry().bottom() + 1, area.top() + area.height() / 2 - 80);
        QVERIFY(qAbs(window->geometry().center().x() - area.center().x()) <= 1);
        QCOMPARE(hud().titleText(), QStringLiteral("Runel"));
        snap(QStringLiteral("empty"));

        type(QStringLiteral("t"));
        QTRY_VERIFY(resultsShown());
        QWidget *results = m_controller->resultsWindow();
        QVERIFY(results->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
        QVERIFY(results->testAttribute(Qt::WA_ShowWithoutActivating));
        QCOMPARE(results->x(), window->x());
        QCOMPARE(results->y(), window->geometry().bottom() + 1 + 10);
        QCOMPARE(QApplication::activeWindow(), window); // the HUD keeps the focus
        QVERIFY(viewModel().isResultsPanelVisible());
        snap(QStringLiteral("folder-rows"));
    }

    void typingRunsAScript()
    {
        type(QStringLiteral("gd"));
        QCOMPARE(keyBoxes(), (QStringList { QStringLiteral("g"), QStringLiteral("d") }));
        QTRY_COMPARE(viewModel().executionStatus().kind(), Kind::succeeded);
        QCOMPARE(hud().titleText(), QStringLiteral("ran deploy.sh [] []"));
        QCOMPARE(hud().statusIcon()->symbol(), QStringLiteral("checkmark.circle.fill"));
        snap(QStringLiteral("succeeded"));
        QTRY_COMPARE(m_closed, 1);
        QVERIFY(!m_controller->isOpen());
        QCOMPARE(m_stack->log->runs().size(), 1);
    }

    void backspaceRemovesAKeyBox()
    {
        m_stack->config->setScriptDelay(30);
        type(QStringLiteral("gd"));
        snap(QStringLiteral("two-keys"));
        press(Qt::Key_Backspace);
        QCOMPARE(keyBoxes(), QStringList { QStringLiteral("g") });
        QTRY_VERIFY(resultsShown());
        QCOMPARE(hud().titleText(), QStringLiteral("Git"));
        press(Qt::Key_Down);
        QCOMPARE(viewModel().selectedIndex(), 1);
        snap(QStringLiteral("script-rows"));
        press(Qt::Key_Escape);
        QCOMPARE(keyBoxes(), QStringList());
        press(Qt::Key_Escape);
        QCOMPARE(m_closed, 1);
    }

    void tabSwitchesToSearch()
    {
        type(QStringLiteral("g"));
        press(Qt::Key_Tab);
        QVERIFY(viewModel().isSearchMode());
        HUDTextField *field = hud().textField();
        QCOMPARE(focused(), field);
        QCOMPARE(field->text(), QStringLiteral("g"));
        QCOMPARE(field->cursorPosition(), 1); // caret after the text carried over
        QCOMPARE(field->placeholderText(), QStringLiteral("Search scripts…"));
        QTest::keyClicks(field, QStringLiteral("it"));
        QCOMPARE(viewModel().searchFilterText(), QStringLiteral("git"));
        QTRY_VERIFY(resultsShown());
        QCOMPARE(m_controller->resultsView()->list()->model()->rowCount(), 2);
        snap(QStringLiteral("search"));
        QTest::keyClicks(field, QStringLiteral("zzz"));
        QTRY_VERIFY(m_controller->resultsView()->isShowingEmptyState());
        snap(QStringLiteral("search-no-results"));
        press(Qt::Key_Backtab);
        QVERIFY(!viewModel().isSearchMode());
        QCOMPARE(focused(), hud().keyCatcher());
    }

    void listFlow()
    {
        type(QStringLiteral("m"));
        QTRY_COMPARE(viewModel().executionStatus().kind(), Kind::showingList);
        HUDTextField *field = hud().textField();
        QCOMPARE(focused(), field);
        QCOMPARE(field->placeholderText(), QStringLiteral("Filter…"));
        QCOMPARE(hud().titleText(), QStringLiteral("Menu")); // never the JSON line
        QTRY_VERIFY(resultsShown());
        press(Qt::Key_Tab);
        QCOMPARE(viewModel().selectedListIndex(), 1);
        press(Qt::Key_Backtab);
        QCOMPARE(viewModel().selectedListIndex(), 0);
        snap(QStringLiteral("list"));
        QTest::keyClicks(field, QStringLiteral("stat"));
        QCOMPARE(viewModel().filteredList().size(), size_t(1));
        press(Qt::Key_Return);
        QTRY_COMPARE(viewModel().executionStatus().kind(), Kind::succeeded);
        QCOMPARE(viewModel().latestOutput(), QStringLiteral("ran status.sh [] []"));
    }

    void argumentFieldSelectsAll()
    {
        m_stack->services.clipboard = QStringLiteral("two\nlines");
        type(QStringLiteral("a"));
        QTRY_COMPARE(viewModel().executionStatus().kind(), Kind::awaitingArgument);
        HUDTextField *field = hud().textField();
        QCOMPARE(focused(), field);
        QCOMPARE(field->placeholderText(), QStringLiteral("Query"));
        QCOMPARE(field->text(), QStringLiteral("q: two lines"));
        QCOMPARE(field->selectedText(), field->text());
        snap(QStringLiteral("argument"));
        QTest::keyClicks(field, QStringLiteral("typed"));
        QCOMPARE(field->text(), QStringLiteral("typed"));
        press(Qt::Key_Return, Qt::ShiftModifier | Qt::AltModifier);
        QTRY_COMPARE(viewModel().executionStatus().kind(), Kind::succeeded);
        QCOMPARE(viewModel().latestOutput(), QStringLiteral("ran ask.sh [alt,shift] [typed]"));
    }

    void controlCCancelsARunningScript()
    {
        type(QStringLiteral("h"));
        QTRY_COMPARE(viewModel().latestOutput(), QStringLiteral("working on it"));
        QCOMPARE(hud().statusIcon()->kind(), StatusIcon::Kind::spinner);
        snap(QStringLiteral("running"));
        type(QStringLiteral("x")); // input is blocked while it runs
        press(Qt::Key_Escape);
        QCOMPARE(m_closed, 0);
        press(Qt::Key_C, Qt::ControlModifier);
        QTRY_COMPARE(viewModel().executionStatus().kind(), Kind::idle);
        QCOMPARE(keyBoxes(), QStringList());
    }

    void resultsPanelVisibility_data()
    {
        QTest::addColumn<ResultsVisibility>("visibility");
        QTest::addColumn<bool>("searchMode");
        QTest::addColumn<bool>("shownAfterKeys");
        QTest::newRow("immediately") << ResultsVisibility::immediately << false << true;
        QTest::newRow("delayed") << ResultsVisibility::delayed << false << true;
        QTest::newRow("never") << ResultsVisibility::never << false << false;
        QTest::newRow("never, but search shows it") << ResultsVisibility::never << true << true;
        QTest::newRow("delayed, but search at once") << ResultsVisibility::delayed << true << true;
    }
    void resultsPanelVisibility()
    {
        QFETCH(ResultsVisibility, visibility);
        QFETCH(bool, searchMode);
        QFETCH(bool, shownAfterKeys);
        const int delayMs = 300;
        m_stack->config->setResultsVisibility(visibility);
        m_stack->config->setResultsDelay(delayMs / 1000.0);
        m_stack->config->setScriptDelay(30);
        if (searchMode)
            press(Qt::Key_Tab);
        type(QStringLiteral("t"));
        QTest::qWait(delayMs / 2);
        QElapsedTimer sinceLastKey;
        sinceLastKey.start();
        type(QStringLiteral("b"));
        if (visibility == ResultsVisibility::delayed && !searchMode) {
            // The second key restarted the delay: nothing before it has run out again.
            QVERIFY(!resultsShown());
            QVERIFY(m_controller->isResultsPanelPending());
            QTRY_VERIFY(resultsShown());
            QVERIFY(sinceLastKey.elapsed() >= delayMs * 9 / 10);
        } else if (shownAfterKeys) {
            QTRY_VERIFY(resultsShown());
        } else {
            QTest::qWait(50);
            QVERIFY(!resultsShown());
            press(Qt::Key_Down); // browsing always shows the panel
            QTRY_VERIFY(resultsShown());
        }
        QCOMPARE(viewModel().isResultsPanelVisible(), true);
        press(Qt::Key_Escape);
        if (!searchMode)
            QTRY_VERIFY(!resultsShown());
    }

    void focusLossClosesUnlessAScriptRuns_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("closes");
        QTest::newRow("idle") << QString() << 1;
        QTest::newRow("keys typed") << QStringLiteral("t") << 1;
        QTest::newRow("foreground run") << QStringLiteral("h") << 0;
    }
    void focusLossClosesUnlessAScriptRuns()
    {
        QFETCH(QString, keys);
        type(keys);
        if (keys == QStringLiteral("h"))
            QTRY_COMPARE(viewModel().executionStatus().kind(), Kind::runningForeground);
        if (keys == QStringLiteral("t"))
            QTRY_VERIFY(resultsShown());
        QWidget other;
        other.resize(100, 100);
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QFETCH(int, closes);
        QTRY_COMPARE(m_closed, closes);
        m_controller->close();
        m_controller->close();
        QCOMPARE(m_closed, 1); // closed() once, however often close() is called
        QVERIFY(!m_controller->hudWindow());
    }

    void keyCatcherDispatch_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::addColumn<quint32>("scanCode");
        QTest::addColumn<QString>("called");
        const auto row = [](const char *name, int key, Qt::KeyboardModifiers modifiers,
                             const char *text, quint32 scanCode, const char *called) {
            QTest::newRow(name) << key << modifiers << QString::fromUtf8(text) << scanCode
                                << QString::fromUtf8(called);
        };
        const auto ctrl = Qt::KeyboardModifiers(Qt::ControlModifier);
        row("letter", Qt::Key_A, {}, "a", 38, "character a");
        row("shifted letter", Qt::Key_A, Qt::ShiftModifier, "A", 38, "character A");
        row("section sign", Qt::Key_section, {}, "§", 94, "character §");
        row("latin letter outside the set", Qt::Key_Eacute, {}, "é", 11, "");
        row("cyrillic takes the us key", 0x0444, {}, "ф", 38, "character a");
        row("function key", Qt::Key_F5, {}, "", 71, "");
        row("return with modifiers", Qt::Key_Return, Qt::ShiftModifier | Qt::AltModifier, "\r", 36,
            "enter alt,shift");
        row("return with super", Qt::Key_Return, Qt::MetaModifier, "\r", 36, "enter ");
        row("control c", Qt::Key_C, ctrl, "\x03", 54, "cancel");
        row("control c on a russian layout", 0x0441, ctrl, "\x03", 54, "cancel");
        row("control d", Qt::Key_D, ctrl, "\x04", 40, "");
        row("alt x", Qt::Key_X, Qt::AltModifier, "x", 53, "");
        row("tab", Qt::Key_Tab, {}, "\t", 23, "tab");
        row("shift tab", Qt::Key_Backtab, Qt::ShiftModifier, "", 23, "shift-tab");
        row("backspace", Qt::Key_Backspace, {}, "\b", 22, "backspace");
        row("up", Qt::Key_Up, {}, "", 111, "up");
    }
    void keyCatcherDispatch()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, text);
        QFETCH(quint32, scanCode);
        QStringList calls;
        KeyEventHandler catcher;
        // Each callback records its name and what it was given.
        const auto record = [&calls](const char *name) {
            return [&calls, name](const auto &...given) {
                calls.append(QStringList { QString::fromLatin1(name), given... }.join(u' '));
            };
        };
        catcher.setCallbacks({ .onCharacter = record("character"),
            .onBackspace = record("backspace"),
            .onEscape = record("escape"),
            .onCancel = record("cancel"),
            .onEnter = record("enter"),
            .onArrowUp = record("up"),
            .onArrowDown = record("down"),
            .onTab = record("tab"),
            .onShiftTab = record("shift-tab") });
        QKeyEvent press(QEvent::KeyPress, key, modifiers, scanCode, 0, 0, text);
        QApplication::sendEvent(&catcher, &press);
        QTEST(calls.join(QLatin1Char('|')), "called");
    }
};

QTEST_MAIN(TestHudWindow)
#include "tst_hud_window.moc"

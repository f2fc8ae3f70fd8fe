#include "TestEnvironment.h"
#include "gui/hud/HudPanel.h"
#include "gui/hud/HudTextField.h"
#include "gui/hud/KeyBoxRow.h"
#include "gui/hud/KeyEventHandler.h"
#include "gui/hud/ResultRowDelegate.h"
#include "gui/hud/ResultsWindowView.h"
#include "gui/hud/SearchView.h"
#include "gui/hud/SearchWindowController.h"
#include "gui/hud/StatusIcon.h"
#include "gui/platform/DesktopSystemServices.h"
#include "gui/platform/MapExposeFilter.h"
#include "gui/platform/PanelPlacement.h"
#include "gui/style/HudIcons.h"

#include <QApplication>
#include <QGlyphRun>
#include <QListView>
#include <QTemporaryFile>
#include <QTextLayout>
#include <QtTest>
#include <array>
#include <cstdio>
#include <cstring>
#include <unistd.h>

using namespace runel;
using namespace runel::gui;
using namespace Qt::StringLiterals;
using Kind = ExecutionStatus::Kind;

Q_DECLARE_METATYPE(runel::gui::PanelBackend)

namespace {

// An X event as libxcb hands it over: 32 bytes as the protocol lays them out, then the full
// sequence number. A MapNotify names the mapped window at byte 8, an Expose at byte 4.
std::array<char, 36> xcbEvent(bool map, std::uint32_t window, std::uint32_t sequence)
{
    std::array<char, 36> bytes {};
    bytes[0] = map ? 19 : 12;
    std::memcpy(bytes.data() + (map ? 8 : 4), &window, 4);
    std::memcpy(bytes.data() + 32, &sequence, 4);
    return bytes;
}

// Every script says which one ran and with what.
const QByteArray echo = "echo \"ran $(basename \"$0\") [$1] [$2]\"\n";

// What happens to a panel: its geometry each time it is shown, how often it was asked to lay
// out, and how often it was drawn, in part or whole.
class PanelEvents : public QObject {
public:
    QList<QRect> geometries;
    int layoutRequests = 0;
    int paints = 0;
    int wholePaints = 0;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            geometries.append(static_cast<QWidget *>(watched)->geometry());
        layoutRequests += event->type() == QEvent::LayoutRequest;
        paints += event->type() == QEvent::Paint;
        if (event->type() == QEvent::Paint) {
            // Whole: a part of it is drawn again where the platform activates the panel.
            const auto *widget = static_cast<QWidget *>(watched);
            wholePaints += static_cast<QPaintEvent *>(event)->region() == widget->rect();
        }
        return false;
    }
    // Whether the panel stops asking once what was posted is delivered: a layout request that
    // posts the next one would keep the app busy for as long as the HUD is shown.
    bool settles()
    {
        for (int round = 0; round < 3; ++round)
            QCoreApplication::processEvents();
        const int before = layoutRequests;
        for (int round = 0; round < 10; ++round)
            QCoreApplication::processEvents();
        return layoutRequests == before;
    }
};

} // namespace

// The HUD on screen, driven with key events through its real windows into a real view model
// that runs real scripts; where the panels go, and the desktop's sounds as the app has them. Tests
// that show a state save pictures of both panels in a light and a dark palette for people to look
// at (no pixel assertions).
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
        inBothThemes([&](const QString &theme) {
            const QString stem
                = QStringLiteral(RUNEL_HUD_PICTURES "/%1-%2-%3").arg(name, theme).arg(scale);
            QVERIFY(m_controller->hudWindow()->grab().save(stem + QStringLiteral("-hud.png")));
            if (resultsShown())
                QVERIFY(m_controller->resultsWindow()->grab().save(
                    stem + QStringLiteral("-results.png")));
        });
    }

    // What the HUD shows, in one line: its key boxes, the run's state, the title; the focused
    // field as [text|placeholder] ("all" when its text is selected, "caret:N" when the caret is
    // not at its end); the search text, the results panel ("results:ROWS" or "no results"), the
    // selected row, the list's "entry:SELECTED/SHOWN", the status icon. Once closed: how often,
    // the run's state, its output and the runs logged.
    QString state()
    {
        const Kind kind = viewModel().executionStatus().kind();
        const QString kindName = QStringList { u"argument"_s, u"list"_s, u"failed"_s, {},
            u"running"_s, u"succeeded"_s }[int(kind)];
        if (!m_controller->isOpen())
            return u"closed:%1 %2 \"%3\" runs:%4"_s.arg(m_closed)
                .arg(kindName, viewModel().latestOutput().value_or(QString()))
                .arg(m_stack->log->runs().size());
        QStringList parts { keyBoxes().join(QString()), kindName, u'"' + hud().titleText() + u'"' };
        const HudTextField *field = hud().textField();
        if (focused() == field)
            parts << u"[%1|%2]"_s.arg(field->text(), field->placeholderText())
                  << (field->hasSelectedText()
                             ? (field->selectedText() == field->text() ? u"all"_s : u"part"_s)
                             : field->cursorPosition() != field->text().size()
                             ? u"caret:%1"_s.arg(field->cursorPosition())
                             : QString())
                  << (field->echoMode() == QLineEdit::Password ? u"masked"_s : QString());
        else if (focused() != hud().keyCatcher())
            parts << u"focus elsewhere"_s;
        if (viewModel().isSearchMode())
            parts << u"search:"_s + viewModel().searchFilterText();
        if (resultsShown())
            parts << (m_controller->resultsView()->isShowingEmptyState()
                    ? u"no results"_s
                    : u"results:%1"_s.arg(
                        m_controller->resultsView()->list()->model()->rowCount()));
        if (viewModel().selectedIndex() != 0)
            parts << u"row:%1"_s.arg(viewModel().selectedIndex());
        if (kind == Kind::showingList)
            parts << u"entry:%1/%2"_s.arg(viewModel().selectedListIndex())
                         .arg(viewModel().filteredList().size());
        const StatusIcon *icon = hud().statusIcon();
        parts << (icon->kind() == StatusIcon::Kind::spinner ? u"spinner"_s : icon->symbol());
        parts.removeAll(QString());
        return parts.join(u' ');
    }

    // Plays steps separated by ", ": type TEXT (to the focused widget), key KEYS ("Ctrl+C"),
    // slow (runs wait 30 s), clipboard TEXT, logged SCRIPT ARGUMENT (an earlier run), snap NAME
    // (pictures); "is STATE" checks the state
    // now, "until STATE" waits for it.
    void play(const QString &steps)
    {
        for (const QString &step : steps.split(u", "_s)) {
            const QString verb = step.section(u' ', 0, 0);
            const QString text = step.section(u' ', 1);
            if (verb == u"is")
                QCOMPARE(state(), text);
            else if (verb == u"until")
                QTRY_COMPARE(state(), text);
            else if (verb == u"type")
                type(text);
            else if (verb == u"key")
                press(QKeySequence(text)[0].key(), QKeySequence(text)[0].keyboardModifiers());
            else if (verb == u"slow")
                m_stack->config->setScriptDelay(30);
            else if (verb == u"clipboard")
                m_stack->services.clipboard = text;
            else if (verb == u"logged") // "SCRIPT ARGUMENT": an earlier run of the script
                m_stack->log
                    ->startRun(text.section(u' ', 0, 0),
                        QDir::cleanPath(
                            m_stack->home.file(u"scripts/"_s + text.section(u' ', 0, 0))),
                        { text.section(u' ', 1) })
                    ->finish(RunExitStatus::success);
            else if (verb == u"snap")
                snap(text);
            else
                QFAIL(qPrintable(u"unknown step: "_s + step));
        }
    }

private Q_SLOTS:
    // A row's text is drawn in the order written, whatever direction controls a list entry's
    // title carries; right-to-left letters still read right to left. "order" gives, for each
    // character of the title, left to right, its place on screen ('.': not checked).
    void rowTextsCannotReverseThemselves_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("order");
        QTest::newRow("right-to-left override") << u"ab\u202Ecd"_s << u"01.23"_s;
        QTest::newRow("Hebrew keeps its direction") << u"ab \u05D0\u05D1"_s << u"01.43"_s;
    }
    void rowTextsCannotReverseThemselves()
    {
        QFETCH(QString, title);
        QFETCH(QString, order);
        QTextLayout layout(
            ResultRowDelegate::withoutDirectionControls(title), QApplication::font());
        QTextOption option;
        option.setTextDirection(Qt::LeftToRight);
        layout.setTextOption(option);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(1000);
        layout.endLayout();
        // Where each checked character's glyph is, in the order the row expects them.
        QList<std::pair<int, qreal>> placed;
        for (int i = 0; i < order.size(); ++i) {
            if (order[i] == u'.')
                continue;
            const QList<QGlyphRun> runs = layout.glyphRuns(i, 1);
            QVERIFY(!runs.isEmpty() && !runs.first().positions().isEmpty());
            placed.append({ order[i].digitValue(), runs.first().positions().first().x() });
        }
        std::sort(placed.begin(), placed.end());
        for (qsizetype i = 1; i < placed.size(); ++i)
            QVERIFY2(placed[i - 1].second < placed[i].second, title.toUtf8().toHex().constData());
    }

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
            { QStringLiteral("hang.sh"), "sleep 0.3; echo working on it; exec sleep 60\n" },
            { QStringLiteral("ask.sh"),
                "# @runel.argument {\"placeholder\": \"Query\", \"value\": \"q: {clipboard}\"}\n"
                    + echo },
            { QStringLiteral("secret.sh"),
                "# @runel.argument {\"placeholder\": \"Token\", \"secret\": true}\n" + echo },
            { QStringLiteral("menu.sh"),
                "echo '[{\"title\": \"Deploy\", \"subtitle\": \"to production\", "
                "\"script\": \"git/deploy.sh\"},"
                " {\"title\": \"Ask now\", \"script\": \"ask.sh\", \"arguments\": [\"given\"]},"
                " {\"title\": \"Status\", \"icon\": \"folder.fill\", \"script\": "
                "\"git/status.sh\"}]'\n" },
        });
        QVERIFY(m_stack->loaded);
        m_closed = 0;
        m_controller = std::make_unique<SearchWindowController>(*m_stack->config);
        connect(m_controller.get(), &SearchWindowController::closed, this, [this] { ++m_closed; });
        m_controller->show(viewModel());
        QVERIFY(QTest::qWaitForWindowActive(m_controller->hudWindow()));
    }
    void cleanup()
    {
        m_controller.reset();
        m_stack.reset();
    }

    // A bundled symbol is drawn once per look and then reused, in the colours it was asked
    // for: a change of theme never shows the icon drawn for the other one.
    void bundledIconsAreDrawnOncePerLook()
    {
        const auto draw = [](QColor color, qreal ratio) {
            return HudIcons::pixmap(u"pin.fill"_s, 16, ratio, color, Qt::white);
        };
        const QPixmap dark = draw(Qt::black, 1);
        QCOMPARE(draw(Qt::black, 1).cacheKey(), dark.cacheKey());
        const QPixmap red = draw(Qt::red, 1);
        QVERIFY(red.toImage() != dark.toImage());
        QCOMPARE(draw(Qt::black, 2).size(), QSize(32, 32));
    }

    // A repaint of part of a panel draws there what a whole paint draws: well inside the
    // outline it only fills; near the border or across a corner's arc it draws the outline.
    void partOfAPanelIsDrawnAsTheWhole_data()
    {
        QTest::addColumn<QRect>("area");
        QTest::newRow("the key boxes") << QRect(20, 43, 380, 40);
        QTest::newRow("the title, inside a corner's square") << QRect(22, 16, 350, 17);
        QTest::newRow("just outside a corner's arc") << QRect(6, 6, 30, 10);
        QTest::newRow("along the border") << QRect(100, 0, 60, 4);
    }

    void partOfAPanelIsDrawnAsTheWhole()
    {
        QFETCH(QRect, area);
        HudPanel panel(false);
        auto *content = new QWidget;
        content->setFixedHeight(109); // the HUD's
        panel.setContent(content);
        panel.fitContent();
        const auto render = [&](const QRegion &region) {
            QImage image(panel.size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            // The region's corner goes where the offset says.
            panel.render(&image, region.boundingRect().topLeft(), region, QWidget::RenderFlags());
            return image;
        };
        const QImage whole = render(panel.rect());
        QCOMPARE(qAlpha(whole.pixel(0, 0)), 0); // a whole paint draws the rounded outline
        QCOMPARE(render(area).copy(area), whole.copy(area));
    }

    void placesBothPanels()
    {
        QWidget *window = m_controller->hudWindow();
        QVERIFY(window->windowFlags().testFlags(
            Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));
        snap(QStringLiteral("empty"));

        type(QStringLiteral("t"));
        QTRY_VERIFY(resultsShown());
        snap(QStringLiteral("folder-rows"));
        // The key that takes the panel away has the HUD's change drawn before it goes.
        PanelEvents hud;
        window->installEventFilter(&hud);
        press(Qt::Key_Backspace);
        QVERIFY(!resultsShown() && hud.paints > 0);
    }

    // The results panel is made once: another opening shows the same window with views of its
    // own (and a HUD of its own). The results panel has its final geometry when it is shown, at
    // each opening with the rows of its own, and it is drawn once, where it stays.
    void everyOpeningShowsTheSameResultsPanelAtItsFinalSize()
    {
        QPointer<QWidget> firstHud = m_controller->hudWindow();
        QWidget *results = m_controller->resultsWindow();
        PanelEvents shown;
        results->installEventFilter(&shown);
        type(u"t"_s); // three scripts in tools/
        QTRY_VERIFY(resultsShown());
        QVERIFY(shown.settles()); // and so a late layout would have come by now
        QCOMPARE(shown.geometries, QList<QRect> { results->geometry() });
        QCOMPARE(shown.wholePaints, 1);

        QPointer<SearchView> firstView = &hud();
        m_controller->close();
        QVERIFY(!firstHud->isVisible() && !results->isVisible());
        SearchViewModel second(*m_stack->config, *m_stack->store, *m_stack->log, m_stack->services);
        m_controller->show(second);
        QVERIFY(QTest::qWaitForWindowActive(m_controller->hudWindow()));
        QCOMPARE(m_controller->resultsWindow(), results);
        QTRY_VERIFY(!firstView && !firstHud); // the first opening's HUD and views went with it
        type(u"g"_s); // two scripts in git/
        QTRY_VERIFY(resultsShown());
        QVERIFY(shown.settles());
        QCOMPARE(shown.geometries.size(), 2);
        QCOMPARE(shown.geometries.last(), results->geometry());
        QCOMPARE(shown.wholePaints, 2);
        QVERIFY(shown.geometries[0].height() > shown.geometries[1].height());
    }

    void flow_data()
    {
        QTest::addColumn<QString>("steps");
        const auto row = [](const char *name, const char *steps) {
            QTest::newRow(name) << QString::fromUtf8(steps);
        };
        row("typing a script's keys runs it, shows its output and closes",
            "type gd, is gd \"Deploy\", until gd succeeded \"ran deploy.sh [] []\" "
            "checkmark.circle.fill, snap succeeded, "
            "until closed:1 succeeded \"ran deploy.sh [] []\" runs:1");
        row("backspace removes a key box, escape clears them and then closes",
            "slow, type gd, snap two-keys, key Backspace, is g \"Git\", until g \"Git\" results:2, "
            "key Down, is g \"Git\" results:2 row:1, snap script-rows, key Esc, is \"Runel\", "
            "key Esc, is closed:1  \"\" runs:0");
        row("tab carries the keys into search and back",
            "type g, key Tab, is g \"3 Scripts\" [g|Search scripts…] search:g magnifyingglass, "
            "type it, until g \"2 Scripts\" [git|Search scripts…] search:git results:2 "
            "magnifyingglass, snap search, type zzz, until g \"0 Scripts\" [gitzzz|Search "
            "scripts…] search:gitzzz no results magnifyingglass, snap search-no-results, "
            "key Backtab, is \"Runel\"");
        row("a list takes the typing as its filter and runs the chosen entry",
            "type m, until m list \"Menu\" [|Filter…] results:3 entry:0/3 list.bullet, key Tab, "
            "is m list \"Menu\" [|Filter…] results:3 entry:1/3 list.bullet, key Backtab, "
            "is m list \"Menu\" [|Filter…] results:3 entry:0/3 list.bullet, snap list, type stat, "
            "is m list \"Menu\" [stat|Filter…] results:1 entry:0/1 list.bullet, key Return, "
            "until closed:1 succeeded \"ran status.sh [] []\" runs:2");
        row("the argument field shows the clipboard on one line, selected, and sends modifiers",
            "clipboard two\nlines, type a, "
            "until a argument \"Ask\" [q: two lines|Query] all, snap argument, type typed, "
            "is a argument \"Ask\" [typed|Query], key Alt+Shift+Return, "
            "until closed:1 succeeded \"ran ask.sh [alt,shift] [typed]\" runs:1");
        row("up and down in the argument field recall the script's earlier arguments",
            "logged ask.sh older, clipboard x, type a, until a argument \"Ask\" [q: x|Query] all, "
            "key Up, is a argument \"Ask\" [older|Query], key Down, "
            "is a argument \"Ask\" [q: x|Query], key Up, key Return, "
            "until closed:1 succeeded \"ran ask.sh [] [older]\" runs:2");
        row("a secret argument is typed into a masked field and recalls nothing a record holds",
            "logged secret.sh leaked, type s, until s argument \"Secret\" [|Token] masked, key Up, "
            "is s argument \"Secret\" [|Token] masked, type hunter2, "
            "is s argument \"Secret\" [hunter2|Token] masked, snap secret-argument, key Return, "
            "until closed:1 succeeded \"ran secret.sh [] [hunter2]\" runs:2");
        row("while a script runs keys are blocked, the title says how to stop it; control-C does",
            "type h, until h running \"Ctrl+C to stop\" spinner, "
            "until h running \"working on it\" spinner, snap running, type x, "
            "is h running \"working on it\" spinner, key Ctrl+C, until \"Runel\"");
    }
    void flow()
    {
        QFETCH(QString, steps);
        play(steps);
    }

    void resultsPanelVisibility_data()
    {
        QTest::addColumn<ResultsVisibility>("visibility");
        QTest::addColumn<bool>("searchMode");
        QTest::newRow("delayed") << ResultsVisibility::delayed << false;
        QTest::newRow("never") << ResultsVisibility::never << false;
        QTest::newRow("never, but search shows it") << ResultsVisibility::never << true;
    }
    void resultsPanelVisibility()
    {
        QFETCH(ResultsVisibility, visibility);
        QFETCH(bool, searchMode);
        m_stack->config->setResultsVisibility(visibility);
        m_stack->config->setResultsDelay(30);
        m_stack->config->setScriptDelay(30);
        if (searchMode)
            press(Qt::Key_Tab);
        type(QStringLiteral("t"));
        if (searchMode) {
            QTRY_VERIFY(resultsShown());
        } else if (visibility == ResultsVisibility::delayed) {
            QTRY_VERIFY(m_controller->isResultsPanelPending());
            QVERIFY(!resultsShown());
            // The second key restarts the delay, as long as it is then: the panel comes long
            // before the first key's delay would have run out.
            m_stack->config->setResultsDelay(0.1);
            type(QStringLiteral("b"));
            QTRY_VERIFY(resultsShown());
        } else {
            // The panel is decided once the key's changes are all in: nothing shows, nothing waits.
            QCoreApplication::processEvents();
            QVERIFY(!resultsShown() && !m_controller->isResultsPanelPending());
            press(Qt::Key_Down); // browsing always shows the panel
            QTRY_VERIFY(resultsShown());
        }
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
        row("section sign", Qt::Key_section, {}, "§", 94, "character §");
        row("latin letter outside the set", Qt::Key_Eacute, {}, "é", 11, "");
        row("return with super", Qt::Key_Return, Qt::MetaModifier, "\r", 36, "enter ");
        row("control c on a russian layout", 0x0441, ctrl, "\x03", 54, "cancel");
        row("alt x", Qt::Key_X, Qt::AltModifier, "x", 53, "");
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

    // Sounds keep standard error quiet, also without a sound card (as in most test machines):
    // a line at most, however many sounds play.
    void soundsKeepStandardErrorQuiet()
    {
        QTemporaryFile captured;
        QVERIFY(captured.open());
        std::fflush(stderr);
        const int saved = ::dup(STDERR_FILENO);
        QVERIFY(saved >= 0);
        QVERIFY(::dup2(captured.handle(), STDERR_FILENO) >= 0);
        {
            DesktopSystemServices services;
            for (const QString &sound : { u"complete"_s, u"dialog-error"_s, u"bell"_s })
                services.playSound(sound);
        }
        std::fflush(stderr);
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
        QVERIFY(captured.seek(0));
        const QByteArray said = captured.readAll();
        QVERIFY2(said.count('\n') <= 1, said.constData());
    }

    void chooseBackend_data()
    {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<bool>("built");
        QTest::addColumn<bool>("offered");
        QTest::addColumn<bool>("disabled");
        QTest::addColumn<PanelBackend>("expected");
        const auto layer = PanelBackend::layerShell;
        const auto window = PanelBackend::window;
        QTest::newRow("sway or KDE, built with it") << "wayland" << true << true << false << layer;
        QTest::newRow("GNOME offers no layer shell")
            << "wayland" << true << false << false << window;
        QTest::newRow("a platform merely named like it")
            << "waylandish" << true << true << false << window;
    }
    void chooseBackend()
    {
        QFETCH(QString, platform);
        QFETCH(bool, built);
        QFETCH(bool, offered);
        QFETCH(bool, disabled);
        QTEST(choosePanelBackend(platform, built, offered, disabled), "expected");
    }

    void layout_data()
    {
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QSize>("hud");
        QTest::addColumn<QSize>("results");
        QTest::addColumn<QRect>("expectedHud");
        QTest::addColumn<QRect>("expectedResults");
        QTest::newRow("HUD's bottom 80 above the middle of a second screen, results 10 below")
            << QRect(1920, 30, 1280, 770) << QSize(420, 100) << QSize(420, 52)
            << QRect(2350, 235, 420, 100) << QRect(2350, 345, 420, 52);
        QTest::newRow("a HUD taller than the top half starts at the area's top")
            << QRect(0, 20, 800, 600) << QSize(420, 300) << QSize(420, 116)
            << QRect(190, 20, 420, 300) << QRect(190, 330, 420, 116);
    }
    void layout()
    {
        QFETCH(QRect, area);
        QFETCH(QSize, hud);
        QFETCH(QSize, results);
        const PanelGeometry geometry = layoutPanels(area, hud, results, 80, 10);
        QTEST(geometry.hud, "expectedHud");
        QTEST(geometry.results, "expectedResults");
    }

    // On X11 a panel is drawn whole when Qt hears it was mapped; the Expose events of that same
    // map add a second frame of the same pixels and are left out. Any other Expose goes on.
    void exposeOfAPanelsOwnMapIsLeftOut_data()
    {
        QTest::addColumn<QString>("events"); // "map" or "expose", the window, the sequence
        QTest::addColumn<bool>("exposeLeftOut"); // the last event's answer

        QTest::newRow("the map's own expose") << u"map panel 10, expose panel 10"_s << true;
        QTest::newRow("a later expose") << u"map panel 10, expose panel 11"_s << false;
        QTest::newRow("another window's") << u"map panel 10, expose other 10"_s << false;
        QTest::newRow("mapped again") << u"map panel 10, map panel 20, expose panel 10"_s << false;
    }

    void exposeOfAPanelsOwnMapIsLeftOut()
    {
        QFETCH(QString, events);
        QWidget panel, other;
        MapExposeFilter filter;
        filter.watch(panel);
        bool leftOut = false;
        for (const QString &event : events.split(u", "_s)) {
            const QStringList parts = event.split(u' ');
            QWidget &window = parts[1] == u"panel" ? panel : other;
            leftOut = filter.nativeEventFilter("xcb_generic_event_t",
                xcbEvent(parts[0] == u"map", std::uint32_t(window.winId()), parts[2].toUInt())
                    .data(),
                nullptr);
            QVERIFY2(!leftOut || parts[0] == u"expose", qPrintable(event)); // maps always go on
        }
        QTEST(leftOut, "exposeLeftOut");
    }
};

QTEST_MAIN(TestHudWindow)
#include "tst_hud_window.moc"

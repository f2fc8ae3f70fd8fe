// The HUD's two figures with 5,000 scripts indexed: from the show request to the first complete
// paint of the HUD, and from a typed key to the repainted HUD and results panel. Medians of many
// showings and key presses, in one run; runs offscreen or on an X server (QT_QPA_PLATFORM).
//
// With --hotkey (on an X server: tests/with-xvfb bench_hud --hotkey) it measures instead from
// the press of Super+Shift+L, sent through XTest, to the HUD's first paint, through the real X11
// hot key back end and the app's global shortcuts: the server's delivery, the grab's event on
// our connection, the handler and the showing.
//
// Usage: bench_hud [ROUNDS] [--dark] [--hotkey]   (--dark: the dark palette, for pictures)

#include "BenchTrees.h"
#include "KeyboardShortcuts/Service.h"
#include "core/SystemServices.h"
#include "core/hud/SearchViewModel.h"
#include "core/index/ScriptStore.h"
#include "core/log/LogStore.h"
#include "core/settings/ConfigManager.h"
#include "core/settings/SettingsFile.h"
#include "gui/app/AppDelegate.h"
#include "gui/app/GlobalShortcuts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <vector>
#ifdef RUNEL_HAVE_X11_HOTKEYS
#include "KeyboardShortcuts/X11HotKeyBackend.h"
#include "KeyboardShortcuts/X11Keymap.h"

#include <xcb/xtest.h>
#endif

using namespace runel;

namespace {

// Notes when a paint of one of the app's windows has been handled, after it was handled.
class PaintClock : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        const bool paint = event->type() == QEvent::Paint;
        const bool handled = QApplication::notify(receiver, event);
        if (paint && receiver->isWidgetType()) {
            m_lastPaint = m_clock.nsecsElapsed();
            ++m_paints;
        }
        return handled;
    }

    // Runs the event loop from `start` (nanoseconds of this clock) until a paint has happened
    // and nothing else was painted for a quiet spell; the time from start to the last paint.
    double millisecondsToLastPaint(qint64 start)
    {
        const int paintsBefore = m_paints;
        QElapsedTimer quiet;
        quiet.start();
        int seen = m_paints;
        while (true) {
            processEvents(QEventLoop::AllEvents, 5);
            if (m_paints != seen) {
                seen = m_paints;
                quiet.restart();
            }
            // Bounded: a window that never paints counts as a failed round, not a hang.
            if (quiet.elapsed() > (m_paints > paintsBefore ? 30 : 2000))
                break;
        }
        if (m_paints == paintsBefore)
            return -1;
        return double(m_lastPaint - start) / 1e6;
    }

    qint64 now() const { return m_clock.nsecsElapsed(); }
    void startClock() { m_clock.start(); }

private:
    QElapsedTimer m_clock;
    qint64 m_lastPaint = 0;
    int m_paints = 0;
};

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void report(const char *what, const std::vector<double> &values, double target)
{
    const double figure = median(values);
    std::printf("%-44s median %7.2f ms over %zu (target <= %.0f ms): %s\n", what, figure,
        values.size(), target, figure >= 0 && figure <= target ? "met" : "missed");
}

// Whether a Down now moves the selection rather than first showing the results.
bool viewModelBrowsing(const gui::AppDelegate &delegate)
{
    const SearchViewModel *viewModel = delegate.viewModel();
    return viewModel && viewModel->isBrowsingResults() && viewModel->isResultsPanelVisible();
}

void sendKey(QWidget *target, Qt::Key key, const QString &text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &release);
}

// The hot key's combinations in memory: the default of the HUD's key is all the bench needs.
class MemoryStorage : public KeyboardShortcuts::ShortcutStorage {
public:
    nlohmann::json value(const QString &key) const override { return m_values.value(key); }
    bool setValue(const QString &key, const nlohmann::json &value) override
    {
        m_values.insert(key, value);
        return true;
    }

private:
    QHash<QString, nlohmann::json> m_values;
};

#ifdef RUNEL_HAVE_X11_HOTKEYS
// Presses Super+Shift+L as a keyboard would, on a connection of its own.
class KeyPresser {
public:
    KeyPresser()
        : m_connection(xcb_connect(nullptr, nullptr))
    {
        const KeyboardShortcuts::X11Keymap keymap
            = KeyboardShortcuts::X11Keymap::read(m_connection);
        m_keys = { keymap.keycodeFor(0xffeb), keymap.keycodeFor(0xffe1), keymap.keycodeFor(0x6c) };
    }
    ~KeyPresser() { xcb_disconnect(m_connection); }
    void press()
    {
        for (uint8_t key : m_keys)
            xcb_test_fake_input(
                m_connection, XCB_KEY_PRESS, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        for (auto key = m_keys.rbegin(); key != m_keys.rend(); ++key)
            xcb_test_fake_input(
                m_connection, XCB_KEY_RELEASE, *key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(m_connection);
    }

private:
    xcb_connection_t *m_connection;
    std::vector<uint8_t> m_keys;
};

// From the key press to the HUD's first paint, ROUNDS times.
int benchHotKey(PaintClock &app, gui::AppDelegate &delegate, ConfigManager &config, int rounds)
{
    std::unique_ptr<KeyboardShortcuts::X11HotKeyBackend> backend
        = KeyboardShortcuts::X11HotKeyBackend::connect();
    if (!backend) {
        std::fputs("bench_hud --hotkey needs an X server (run it under tests/with-xvfb)\n", stderr);
        return 1;
    }
    MemoryStorage storage;
    KeyboardShortcuts::Service hotKeys(storage, std::move(backend));
    gui::GlobalShortcuts shortcuts(hotKeys, config, delegate);
    hotKeys.flush();
    KeyPresser presser;
    std::vector<double> latencies;
    int missed = 0; // presses that opened no HUD within two seconds
    for (int round = 0; round < rounds; ++round) {
        const qint64 start = app.now();
        presser.press();
        const double shown = app.millisecondsToLastPaint(start);
        if (!delegate.isSearchWindowOpen()) {
            ++missed;
            continue;
        }
        if (shown >= 0 && round > 0)
            latencies.push_back(shown);
        delegate.hideSearchWindow();
        // The back end notices the release by polling the keyboard: a press before it has
        // would count as the same key still held down.
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 60)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    std::printf("%s, 5,000 scripts indexed\n", qPrintable(QApplication::platformName()));
    report("hot key press to the HUD's first paint", latencies, 10);
    if (missed > 0)
        std::printf("  %d of %d presses opened no HUD\n", missed, rounds);
    return latencies.empty() ? 1 : 0;
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    // Settings, logs and the scripts folder's pointer live in a throw-away home.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    // The shimmer would repaint for ever; the figures are about the work of a change.
    qputenv("RUNEL_REDUCE_MOTION", "1");
    // The offscreen platform warns on every raise(); the figures are what this prints.
    qputenv("QT_LOGGING_RULES", "default.warning=false");

    PaintClock app(argc, argv);
    int rounds = 101;
    bool dark = false;
    bool hotKey = false;
    for (const QString &argument : QApplication::arguments().mid(1)) {
        if (argument == u"--dark")
            dark = true;
        else if (argument == u"--hotkey")
            hotKey = true;
        else if (argument.toInt() > 0)
            rounds = argument.toInt();
    }
    if (dark) {
        QPalette palette(QColor(0x30, 0x30, 0x30), QColor(0x24, 0x24, 0x24));
        palette.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
        palette.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
        palette.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
        QApplication::setPalette(palette);
    }

    auto settings = std::make_unique<SettingsFile>(SettingsFile::defaultPath());
    settings->setValue("scriptsDir", bench::benchTree(5000).toStdString());
    ConfigManager config(std::move(settings), QString());
    ScriptStore store(config);
    bool loaded = false;
    store.reload([&loaded] { loaded = true; });
    while (!loaded)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    LogStore logs(home.path() + QStringLiteral("/logs"));
    NullSystemServices services;
    gui::AppDelegate delegate(config, store, logs, services);
    app.startClock();
    if (hotKey) {
#ifdef RUNEL_HAVE_X11_HOTKEYS
        return benchHotKey(app, delegate, config, rounds);
#else
        std::fputs("bench_hud was built without X11 hot keys\n", stderr);
        return 1;
#endif
    }

    std::vector<double> showing;
    std::vector<double> typing;
    std::vector<double> firstKey;
    std::vector<double> backspace;
    std::vector<double> selectionMove;
    for (int round = 0; round < rounds; ++round) {
        qint64 start = app.now();
        delegate.showSearchWindow();
        const double shown = app.millisecondsToLastPaint(start);
        if (shown >= 0 && round > 0) // the first showing loads fonts and icons once
            showing.push_back(shown);
        QWidget *focused = QApplication::focusWidget();
        if (!focused)
            focused = QApplication::activeWindow();
        // "s" begins more scripts than any other key: the longest results list to refresh.
        // The first Down shows the results panel; the second only moves the selection in it.
        for (const auto &[key, text] : { std::pair { Qt::Key_S, QStringLiteral("s") },
                 std::pair { Qt::Key_Down, QString() }, std::pair { Qt::Key_Down, QString() },
                 std::pair { Qt::Key_Backspace, QString() } }) {
            if (!focused)
                break;
            const bool moves = key == Qt::Key_Down && viewModelBrowsing(delegate);
            start = app.now();
            sendKey(focused, key, text);
            const double repainted = app.millisecondsToLastPaint(start);
            if (repainted < 0)
                continue;
            if (key == Qt::Key_Down) {
                if (moves)
                    selectionMove.push_back(repainted);
                continue;
            }
            typing.push_back(repainted);
            (key == Qt::Key_S ? firstKey : backspace).push_back(repainted);
        }
        delegate.hideSearchWindow();
        QApplication::processEvents();
    }
    std::printf("%s, 5,000 scripts indexed (%d reachable)\n",
        qPrintable(QApplication::platformName()),
        int(store.scriptIndex()->sequence.reachableItems.size()));
    report("show request to the HUD's first paint", showing, 10);
    report("typed key to repainted HUD and results panel", typing, 4);
    report("  of which \"s\" (1,044 of 5,000 scripts match)", firstKey, 4);
    report("  of which Backspace (back to no keys)", backspace, 4);
    report("Down moving the selection in those 1,044 rows", selectionMove, 4);
    return showing.empty() || typing.empty() ? 1 : 0;
}

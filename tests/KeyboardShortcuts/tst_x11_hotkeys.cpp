#include "FakeHotKeyBackend.h"
#include "KeyboardShortcuts/KeyTable.h"
#include "KeyboardShortcuts/X11HotKeyBackend.h"
#include "KeyboardShortcuts/X11Keymap.h"

#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <memory>

using namespace runel::KeyboardShortcuts;

namespace {

constexpr uint32_t capsLockKeysym = 0xffe5, numLockKeysym = 0xff7f;
const Shortcut superShiftL { 37, CarbonModifier::command | CarbonModifier::shift };
const Shortcut superShiftK { 40, CarbonModifier::command | CarbonModifier::shift };
const Shortcut controlAltJ { 38, CarbonModifier::control | CarbonModifier::option };
const Shortcut superShiftZ { 6, CarbonModifier::command | CarbonModifier::shift };
// The names a combination is bound for: the back end only passes them on.
const QStringList names { QStringLiteral("name") };

// Each modifier: its Carbon bit, the keysym of its left key and its X modifier bit.
constexpr struct {
    int carbon;
    uint32_t keysym;
    uint16_t mask;
} modifierKeys[] = { { CarbonModifier::command, 0xffeb, XCB_MOD_MASK_4 },
    { CarbonModifier::control, 0xffe3, XCB_MOD_MASK_CONTROL },
    { CarbonModifier::option, 0xffe9, XCB_MOD_MASK_1 },
    { CarbonModifier::shift, 0xffe1, XCB_MOD_MASK_SHIFT } };

// A second X client: it presses keys through XTest, grabs combinations and owns a window.
class Client {
public:
    Client()
        : m_connection(xcb_connect(nullptr, nullptr))
    {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    ~Client() { xcb_disconnect(m_connection); }
    bool isValid() const { return !xcb_connection_has_error(m_connection); }

    uint8_t keycode(uint32_t keysym) const
    {
        return X11Keymap::read(m_connection).keycodeFor(keysym);
    }
    // The shortcut's key code in the current mapping.
    uint8_t keycode(const Shortcut &shortcut) const
    {
        return keycode(KeyTable::byCarbonKeyCode(shortcut.carbonKeyCode)->keysym);
    }
    void key(uint8_t keycode, bool press)
    {
        xcb_test_fake_input(m_connection, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode,
            XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    void tap(uint8_t keycode)
    {
        key(keycode, true);
        key(keycode, false);
    }
    // The modifiers held, the key pressed 1 + repeats times (a held key's auto-repeat), released.
    void press(const Shortcut &shortcut, int repeats = 0)
    {
        std::vector<uint8_t> modifiers;
        for (const auto &modifier : modifierKeys) {
            if (shortcut.carbonModifiers & modifier.carbon)
                key(modifiers.emplace_back(this->keycode(modifier.keysym)), true);
        }
        for (int index = 0; index <= repeats; ++index)
            key(keycode(shortcut), true);
        key(keycode(shortcut), false);
        for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
            key(*it, false);
        xcb_flush(m_connection);
    }
    void sync()
    {
        std::free(
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

    // A checked grab of exactly the combination; false when another client holds it.
    bool grab(const Shortcut &shortcut)
    {
        auto cookie = xcb_grab_key_checked(m_connection, 0, m_root, mask(shortcut),
            keycode(shortcut), XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        xcb_generic_error_t *error = xcb_request_check(m_connection, cookie);
        std::free(error);
        return !error;
    }
    void ungrab(const Shortcut &shortcut)
    {
        xcb_ungrab_key(m_connection, keycode(shortcut), m_root, mask(shortcut));
        sync();
    }
    bool heldElsewhere(const Shortcut &shortcut)
    {
        const bool held = !grab(shortcut);
        if (!held)
            ungrab(shortcut);
        return held;
    }

    // A mapped window with the focus that records the keys pressed in it.
    void createFocusedWindow()
    {
        const xcb_window_t window = xcb_generate_id(m_connection);
        const uint32_t events = XCB_EVENT_MASK_KEY_PRESS;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, m_root, 0, 0, 100, 100, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
        xcb_map_window(m_connection, window);
        xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        sync();
        typed();
        m_typed.clear();
        m_focused = window;
    }
    xcb_window_t focusedWindow() const { return m_focused; }
    // The key codes pressed in the window so far, in order.
    std::vector<uint8_t> typed()
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
            if ((event->response_type & 0x7f) == XCB_KEY_PRESS)
                m_typed.push_back(reinterpret_cast<xcb_key_press_event_t *>(event)->detail);
            std::free(event);
        }
        return m_typed;
    }

private:
    static uint16_t mask(const Shortcut &shortcut)
    {
        uint16_t mask = 0;
        for (const auto &modifier : modifierKeys)
            mask |= shortcut.carbonModifiers & modifier.carbon ? modifier.mask : 0;
        return mask;
    }

    xcb_connection_t *m_connection;
    xcb_window_t m_root = 0;
    xcb_window_t m_focused = 0;
    std::vector<uint8_t> m_typed;
};

} // namespace

class TestX11HotKeys : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_backend = X11HotKeyBackend::connect();
        QVERIFY2(m_backend, "no X display: run under tests/with-xvfb");
        QVERIFY(m_client.isValid());
    }
    void cleanup() { m_backend.reset(); }

    void noDisplayGivesNoBackend() { QVERIFY(!X11HotKeyBackend::connect(":99999")); }

    void pressFiresOnceWithItsRelease_data()
    {
        QTest::addColumn<Shortcut>("shortcut");
        QTest::addColumn<QList<uint32_t>>("locks");
        QTest::addColumn<int>("repeats");
        QTest::newRow("no lock keys") << superShiftL << QList<uint32_t> {} << 0;
        QTest::newRow("Caps Lock and Num Lock on")
            << controlAltJ << QList<uint32_t> { capsLockKeysym, numLockKeysym } << 0;
        QTest::newRow("auto-repeat is one press") << superShiftL << QList<uint32_t> {} << 3;
    }
    void pressFiresOnceWithItsRelease()
    {
        QFETCH(Shortcut, shortcut);
        QFETCH(QList<uint32_t>, locks);
        QFETCH(int, repeats);
        QSignalSpy pressed(m_backend.get(), &HotKeyBackend::pressed);
        QSignalSpy released(m_backend.get(), &HotKeyBackend::released);
        m_backend->setBindings({ { shortcut, names }, { superShiftK, names } });
        for (uint32_t lock : locks)
            m_client.tap(m_client.keycode(lock));
        m_client.press(shortcut, repeats);
        for (uint32_t lock : locks)
            m_client.tap(m_client.keycode(lock)); // off again for the next row

        QTRY_COMPARE(released.count(), 1);
        QCOMPARE(pressed.count(), 1);
        QCOMPARE(pressed.first().first().toString(), names.first());
        QCOMPARE(released.first().first().toString(), names.first());
    }

    // A name whose combination another client holds knows it, whether the other client was
    // first or the name was changed to it; once the other client lets go, asking takes it. A
    // combination it does not hold is tried and let go.
    void aNameKnowsItsCombinationIsTaken_data()
    {
        QTest::addColumn<bool>("changedLater");
        QTest::newRow("held by another client before registration") << false;
        QTest::newRow("changed to a combination another client holds") << true;
    }
    void aNameKnowsItsCombinationIsTaken()
    {
        QFETCH(bool, changedLater);
        const Name name { QStringLiteral("toggle"), superShiftL };
        MapShortcutStorage storage;
        if (changedLater)
            storage.values[name.storageKey()] = superShiftK.toJson();
        QVERIFY(m_client.grab(superShiftL));
        HotKeyBackend &backend = *m_backend;
        Service service(storage, std::move(m_backend));
        QSignalSpy conflicts(&backend, &HotKeyBackend::stateChanged);
        service.addName(name);
        service.onKeyDown(name, this, [] {});
        service.flush();
        if (changedLater) {
            QVERIFY(!service.isHeldElsewhere(name));
            QVERIFY(m_client.heldElsewhere(superShiftK));
            QVERIFY(service.setShortcut(superShiftL, name));
            service.flush();
        }
        QVERIFY(service.isHeldElsewhere(name));
        QCOMPARE(conflicts.count(), 1);

        QVERIFY(m_client.grab(controlAltJ));
        QVERIFY(backend.isHeldElsewhere(controlAltJ));
        m_client.ungrab(controlAltJ);
        QVERIFY(!backend.isHeldElsewhere(controlAltJ));
        QVERIFY(!m_client.heldElsewhere(controlAltJ));

        m_client.ungrab(superShiftL);
        QVERIFY(!backend.isHeldElsewhere(superShiftL));
        QVERIFY(!service.isHeldElsewhere(name));
        QCOMPARE(conflicts.count(), 2);
    }

    void grabFollowsTheKeyboardMapping_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("restore");
        // Two paths: the core mapping's notification, and XKB's for a new keymap.
        QTest::newRow("key moved by the core mapping")
            << QStringLiteral("xmodmap -e 'keycode 52 = y Y' -e 'keycode 29 = z Z'")
            << QStringLiteral("xmodmap -e 'keycode 52 = z Z' -e 'keycode 29 = y Y'");
        QTest::newRow("new layout")
            << QStringLiteral("setxkbmap de") << QStringLiteral("setxkbmap us");
    }
    void grabFollowsTheKeyboardMapping()
    {
        QFETCH(QString, change);
        QFETCH(QString, restore);
        const auto run = [](const QString &command) {
            return QProcess::execute(QStringLiteral("sh"), { QStringLiteral("-c"), command });
        };
        // Without the program the mapping never changes: say which one is missing.
        const QString program = change.section(QLatin1Char(' '), 0, 0);
        if (QStandardPaths::findExecutable(program).isEmpty())
            QFAIL(qPrintable(program
                + QStringLiteral(" is not installed; install the test tools with "
                                 "tools/install-deps --test")));
        // The client's key codes are read from the mapping of the moment.
        const uint8_t before = m_client.keycode(superShiftZ);
        m_backend->setBindings({ { superShiftZ, names } });
        QVERIFY(m_client.heldElsewhere(superShiftZ));

        QCOMPARE(run(change), 0);
        QVERIFY(m_client.keycode(superShiftZ) != before);
        QTRY_VERIFY(m_client.heldElsewhere(superShiftZ));
        QSignalSpy pressed(m_backend.get(), &HotKeyBackend::pressed);
        m_client.press(superShiftZ);
        QTRY_COMPARE(pressed.count(), 1);

        QCOMPARE(run(restore), 0);
        QTRY_VERIFY(m_client.heldElsewhere(superShiftZ));
    }

    void keysTypedAfterTheHotKeyReachTheFocusedWindow_data()
    {
        // How the held keys are let go; "release": held without a press, then released.
        QTest::addColumn<QString>("hold");
        QTest::newRow("not held: at once") << QString();
        QTest::newRow("held without a press (toggle)") << QStringLiteral("release");
        QTest::newRow("released once the focused window is the one named")
            << QStringLiteral("focused");
        // The window manager announced a window that the server has not given the focus yet.
        QTest::newRow("held for a window without the focus until the timeout")
            << QStringLiteral("unfocused");
    }
    void keysTypedAfterTheHotKeyReachTheFocusedWindow()
    {
        QFETCH(QString, hold);
        const bool pressHotKey = hold != QStringLiteral("release");
        const std::vector<uint8_t> abc { m_client.keycode('a'), m_client.keycode('b'),
            m_client.keycode('c') };
        const auto typedLetters = [&] {
            std::vector<uint8_t> letters = m_client.typed();
            std::erase_if(
                letters, [&](uint8_t key) { return std::ranges::find(abc, key) == abc.end(); });
            return letters;
        };
        // Whether the keys are still kept back once every request so far has been handled.
        const auto stillHeld = [&] {
            m_client.sync();
            QCoreApplication::processEvents();
            m_client.sync();
            return m_backend->isHoldingKeys() && typedLetters().empty();
        };
        m_client.createFocusedWindow();
        // A binding declared as holding keeps the keys back from its press on.
        m_backend->setBindings({ { superShiftL, names, !hold.isEmpty() } });
        m_backend->setHoldTimeout(std::chrono::milliseconds(200));
        QSignalSpy pressed(m_backend.get(), &HotKeyBackend::pressed);

        if (pressHotKey) {
            m_client.press(superShiftL);
        } else {
            m_backend->holdKeys(0);
            QVERIFY(m_backend->isHoldingKeys());
        }
        for (uint8_t keycode : abc)
            m_client.tap(keycode);
        m_client.sync();
        QTRY_COMPARE(pressed.count(), pressHotKey ? 1 : 0);

        if (!hold.isEmpty()) {
            QVERIFY(stillHeld());
            if (hold == QStringLiteral("release"))
                m_backend->releaseKeys();
            if (hold == QStringLiteral("focused"))
                m_backend->releaseKeysOnceFocused(m_client.focusedWindow());
            if (hold == QStringLiteral("unfocused")) {
                m_backend->releaseKeysOnceFocused(m_client.focusedWindow() + 1);
                QVERIFY(stillHeld());
            }
        }
        QTRY_COMPARE(typedLetters(), abc);
        QVERIFY(!m_backend->isHoldingKeys());
    }

private:
    std::unique_ptr<X11HotKeyBackend> m_backend;
    Client m_client;
};

QTEST_GUILESS_MAIN(TestX11HotKeys)
#include "tst_x11_hotkeys.moc"

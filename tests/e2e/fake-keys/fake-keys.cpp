// Test equipment: presses keys on a headless Wayland desktop as a keyboard would, so the desktop
// itself sees them (its global shortcuts fire, its focused window gets them).
//
//   fake-keys kwin CHORD...     through KWin's org_kde_kwin_fake_input protocol on
//                               $WAYLAND_DISPLAY (KWin offers it only when started with
//                               KWIN_WAYLAND_NO_PERMISSION_CHECKS=1)
//   fake-keys mutter CHORD...   through mutter's org.gnome.Mutter.RemoteDesktop on the session bus
//   fake-keys kwin|mutter -     one keyboard for a whole session: reads lines of CHORDs from
//                               standard input and answers each with "ok" (or "failed") once the
//                               desktop has its events; ends when standard input does
//
// A CHORD is key names joined by '+' ("super+shift+l", "e", "return"): its keys go down in that
// order and up in the reverse one; chords follow each other with no pause, as fast typing would.
// Exit status 0 once the desktop has every event, 1 with a message otherwise, 2 for bad usage.
#include "fake-input-client-protocol.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <linux/input-event-codes.h>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>
#include <wayland-client.h>

namespace {

struct KeyName {
    const char *name;
    unsigned code; // evdev, what both desktops take
};

constexpr KeyName keyNames[] = { { "super", KEY_LEFTMETA }, { "shift", KEY_LEFTSHIFT },
    { "ctrl", KEY_LEFTCTRL }, { "alt", KEY_LEFTALT }, { "return", KEY_ENTER },
    { "escape", KEY_ESC }, { "tab", KEY_TAB }, { "space", KEY_SPACE },
    { "backspace", KEY_BACKSPACE }, { "a", KEY_A }, { "b", KEY_B }, { "c", KEY_C }, { "d", KEY_D },
    { "e", KEY_E }, { "f", KEY_F }, { "g", KEY_G }, { "h", KEY_H }, { "i", KEY_I }, { "j", KEY_J },
    { "k", KEY_K }, { "l", KEY_L }, { "m", KEY_M }, { "n", KEY_N }, { "o", KEY_O }, { "p", KEY_P },
    { "q", KEY_Q }, { "r", KEY_R }, { "s", KEY_S }, { "t", KEY_T }, { "u", KEY_U }, { "v", KEY_V },
    { "w", KEY_W }, { "x", KEY_X }, { "y", KEY_Y }, { "z", KEY_Z }, { "0", KEY_0 }, { "1", KEY_1 },
    { "2", KEY_2 }, { "3", KEY_3 }, { "4", KEY_4 }, { "5", KEY_5 }, { "6", KEY_6 }, { "7", KEY_7 },
    { "8", KEY_8 }, { "9", KEY_9 } };

struct KeyEvent {
    unsigned code;
    bool pressed;
};

// The chords as one sequence of key events, or nothing (and a message) for an unknown key name.
std::optional<std::vector<KeyEvent>> parseChords(const std::vector<std::string> &chords)
{
    std::vector<KeyEvent> events;
    for (const std::string &chord : chords) {
        std::vector<unsigned> keys;
        size_t start = 0;
        while (start <= chord.size()) {
            const size_t end = std::min(chord.find('+', start), chord.size());
            const std::string name = chord.substr(start, end - start);
            const KeyName *found = nullptr;
            for (const KeyName &key : keyNames) {
                if (name == key.name)
                    found = &key;
            }
            if (!found) {
                std::fprintf(stderr, "fake-keys: unknown key \"%s\" in \"%s\"\n", name.c_str(),
                    chord.c_str());
                return std::nullopt;
            }
            keys.push_back(found->code);
            start = end + 1;
        }
        for (unsigned key : keys)
            events.push_back({ key, true });
        for (auto key = keys.rbegin(); key != keys.rend(); ++key)
            events.push_back({ *key, false });
    }
    return events;
}

// The registry's answer: KWin's fake-input global, bound at version 4 (the first with
// keyboard_key) or 5 (the first with destroy).
struct Globals {
    org_kde_kwin_fake_input *fakeInput = nullptr;
    uint32_t version = 0;
};

void onGlobal(
    void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version)
{
    auto *globals = static_cast<Globals *>(data);
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0) {
        globals->version = version;
        if (version >= 4) {
            globals->fakeInput = static_cast<org_kde_kwin_fake_input *>(wl_registry_bind(
                registry, name, &org_kde_kwin_fake_input_interface, std::min(version, 5U)));
        }
    }
}
void onGlobalRemove(void *, wl_registry *, uint32_t) { }
constexpr wl_registry_listener registryListener { onGlobal, onGlobalRemove };

// Sends events on the connection it holds until destroyed.
class KWinKeyboard {
public:
    bool open()
    {
        m_display.reset(wl_display_connect(nullptr));
        if (!m_display) {
            std::fprintf(stderr, "fake-keys: cannot connect to the Wayland display \"%s\"\n",
                std::getenv("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "");
            return false;
        }
        m_registry = wl_display_get_registry(m_display.get());
        wl_registry_add_listener(m_registry, &registryListener, &m_globals);
        wl_display_roundtrip(m_display.get());
        if (!m_globals.fakeInput) {
            std::fprintf(stderr,
                m_globals.version
                    ? "fake-keys: the compositor's fake input is version %u; keys need 4\n"
                    : "fake-keys: the compositor offers no org_kde_kwin_fake_input (KWin "
                      "offers it when started with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1)\n",
                m_globals.version);
            return false;
        }
        org_kde_kwin_fake_input_authenticate(m_globals.fakeInput, "fake-keys", "end-to-end tests");
        return true;
    }
    bool send(const std::vector<KeyEvent> &events)
    {
        for (const KeyEvent &event : events) {
            org_kde_kwin_fake_input_keyboard_key(m_globals.fakeInput, event.code,
                event.pressed ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
        }
        // The round trip returns once the compositor has handled every request before it.
        if (wl_display_roundtrip(m_display.get()) < 0) {
            std::fprintf(stderr, "fake-keys: the Wayland connection failed (%s)\n",
                std::strerror(wl_display_get_error(m_display.get())));
            return false;
        }
        return true;
    }
    ~KWinKeyboard()
    {
        if (m_globals.fakeInput && m_globals.version >= 5)
            org_kde_kwin_fake_input_destroy(m_globals.fakeInput);
        else if (m_globals.fakeInput)
            wl_proxy_destroy(reinterpret_cast<wl_proxy *>(m_globals.fakeInput));
        if (m_registry)
            wl_registry_destroy(m_registry);
    }

private:
    // Owned here; disconnected last, after the proxies above are destroyed.
    std::unique_ptr<wl_display, void (*)(wl_display *)> m_display { nullptr,
        wl_display_disconnect };
    wl_registry *m_registry = nullptr;
    Globals m_globals;
};

// Mutter ties a remote desktop session to the D-Bus connection that made it: every call goes
// through this one connection, and the session ends with it (or with Stop, on destruction).
class MutterKeyboard {
public:
    bool open()
    {
        const QDBusMessage created = call(QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
            QStringLiteral("org.gnome.Mutter.RemoteDesktop"), QStringLiteral("CreateSession"));
        if (created.type() != QDBusMessage::ReplyMessage || created.arguments().isEmpty())
            return false;
        m_session = created.arguments().first().value<QDBusObjectPath>().path();
        if (call(m_session, sessionInterface, QStringLiteral("Start")).type()
            == QDBusMessage::ErrorMessage)
            return false;
        // The session's keyboard joins the seat a moment after Start, and what comes before is
        // lost: a Shift tap goes first, so no key of the chords is. (A window with the focus
        // would see it: one keyboard for a whole session taps it once, before anything.)
        return send({ { KEY_LEFTSHIFT, true }, { KEY_LEFTSHIFT, false } });
    }
    bool send(const std::vector<KeyEvent> &events)
    {
        for (const KeyEvent &event : events) {
            if (call(m_session, sessionInterface, QStringLiteral("NotifyKeyboardKeycode"),
                    { event.code, event.pressed })
                    .type()
                == QDBusMessage::ErrorMessage)
                return false;
        }
        return true;
    }
    ~MutterKeyboard()
    {
        if (!m_session.isEmpty())
            call(m_session, sessionInterface, QStringLiteral("Stop"));
    }

private:
    QDBusMessage call(const QString &path, const QString &interface, const QString &method,
        const QVariantList &arguments = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QStringLiteral("org.gnome.Mutter.RemoteDesktop"), path, interface, method);
        message.setArguments(arguments);
        QDBusMessage reply = m_bus.call(message);
        if (reply.type() == QDBusMessage::ErrorMessage) {
            std::fprintf(stderr, "fake-keys: mutter refused %s: %s\n", qPrintable(method),
                qPrintable(reply.errorMessage()));
        }
        return reply;
    }

    const QString sessionInterface = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");
    QDBusConnection m_bus = QDBusConnection::sessionBus();
    QString m_session;
};

// Presses the arguments' chords, or with "-" each line's, answering each line.
template<typename Keyboard> int run(Keyboard &keyboard, const std::vector<std::string> &arguments)
{
    if (!keyboard.open())
        return 1;
    if (arguments != std::vector<std::string> { "-" }) {
        const std::optional<std::vector<KeyEvent>> events = parseChords(arguments);
        if (!events)
            return 2;
        return keyboard.send(*events) ? 0 : 1;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::vector<std::string> chords;
        for (std::string chord; words >> chord;)
            chords.push_back(chord);
        const std::optional<std::vector<KeyEvent>> events = parseChords(chords);
        std::cout << (events && keyboard.send(*events) ? "ok" : "failed") << std::endl;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc < 3 || (mode != "kwin" && mode != "mutter")) {
        std::fprintf(
            stderr, "Usage: fake-keys kwin|mutter CHORD... | -  (a chord: super+shift+l)\n");
        return 2;
    }
    const std::vector<std::string> arguments(argv + 2, argv + argc);
    if (mode == "kwin") {
        KWinKeyboard keyboard;
        return run(keyboard, arguments);
    }
    QCoreApplication application(argc, argv); // QtDBus wants one
    MutterKeyboard keyboard;
    return run(keyboard, arguments);
}

// Test equipment: presses keys on a headless Wayland desktop as a keyboard would, so the desktop
// itself sees them (its global shortcuts fire, its focused window gets them).
//
//   fake-keys kwin CHORD...     through KWin's org_kde_kwin_fake_input protocol on
//                               $WAYLAND_DISPLAY (KWin offers it only when started with
//                               KWIN_WAYLAND_NO_PERMISSION_CHECKS=1)
//   fake-keys mutter CHORD...   through mutter's org.gnome.Mutter.RemoteDesktop on the session bus
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
#include <linux/input-event-codes.h>
#include <memory>
#include <optional>
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
std::optional<std::vector<KeyEvent>> parseChords(int count, char **chords)
{
    std::vector<KeyEvent> events;
    for (int index = 0; index < count; ++index) {
        std::vector<unsigned> keys;
        const std::string chord = chords[index];
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

int pressOnKWin(const std::vector<KeyEvent> &events)
{
    // Owned here until the end of this function, whichever way it ends.
    std::unique_ptr<wl_display, void (*)(wl_display *)> display(
        wl_display_connect(nullptr), wl_display_disconnect);
    if (!display) {
        std::fprintf(stderr, "fake-keys: cannot connect to the Wayland display \"%s\"\n",
            std::getenv("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "");
        return 1;
    }
    Globals globals;
    wl_registry *registry = wl_display_get_registry(display.get());
    wl_registry_add_listener(registry, &registryListener, &globals);
    wl_display_roundtrip(display.get());
    if (!globals.fakeInput) {
        std::fprintf(stderr,
            globals.version ? "fake-keys: the compositor's fake input is version %u; keys need 4\n"
                            : "fake-keys: the compositor offers no org_kde_kwin_fake_input (KWin "
                              "offers it when started with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1)\n",
            globals.version);
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(globals.fakeInput, "fake-keys", "end-to-end tests");
    for (const KeyEvent &event : events) {
        org_kde_kwin_fake_input_keyboard_key(globals.fakeInput, event.code,
            event.pressed ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    }
    // The round trip returns once the compositor has handled every request before it.
    if (wl_display_roundtrip(display.get()) < 0) {
        std::fprintf(stderr, "fake-keys: the Wayland connection failed (%s)\n",
            std::strerror(wl_display_get_error(display.get())));
        return 1;
    }
    if (globals.version >= 5)
        org_kde_kwin_fake_input_destroy(globals.fakeInput);
    else
        wl_proxy_destroy(reinterpret_cast<wl_proxy *>(globals.fakeInput));
    wl_registry_destroy(registry);
    return 0;
}

// Mutter ties a remote desktop session to the D-Bus connection that made it: every call goes
// through this one connection, and the session ends with it.
int pressOnMutter(const std::vector<KeyEvent> &events)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString service = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
    const auto call = [&](const QString &path, const QString &interface, const QString &method,
                          const QVariantList &arguments = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        QDBusMessage reply = bus.call(message);
        if (reply.type() == QDBusMessage::ErrorMessage) {
            std::fprintf(stderr, "fake-keys: mutter refused %s: %s\n", qPrintable(method),
                qPrintable(reply.errorMessage()));
        }
        return reply;
    };
    const QDBusMessage created = call(QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
        QStringLiteral("org.gnome.Mutter.RemoteDesktop"), QStringLiteral("CreateSession"));
    if (created.type() != QDBusMessage::ReplyMessage || created.arguments().isEmpty())
        return 1;
    const QString session = created.arguments().first().value<QDBusObjectPath>().path();
    const QString sessionInterface = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");
    if (call(session, sessionInterface, QStringLiteral("Start")).type()
        == QDBusMessage::ErrorMessage)
        return 1;
    int status = 0;
    for (const KeyEvent &event : events) {
        if (call(session, sessionInterface, QStringLiteral("NotifyKeyboardKeycode"),
                { event.code, event.pressed })
                .type()
            == QDBusMessage::ErrorMessage) {
            status = 1;
            break;
        }
    }
    call(session, sessionInterface, QStringLiteral("Stop"));
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc < 3 || (mode != "kwin" && mode != "mutter")) {
        std::fprintf(stderr, "Usage: fake-keys kwin|mutter CHORD... (a chord: super+shift+l)\n");
        return 2;
    }
    const std::optional<std::vector<KeyEvent>> events = parseChords(argc - 2, argv + 2);
    if (!events)
        return 2;
    if (mode == "kwin")
        return pressOnKWin(*events);
    QCoreApplication application(argc, argv); // QtDBus wants one
    return pressOnMutter(*events);
}

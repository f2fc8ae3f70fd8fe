#include "X11HotKeyBackend.h"

#include "KeyTable.h"

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <xcb/xcb.h>
// xkb.h names two members "explicit", a C++ keyword; they are not used here.
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit

#include <algorithm>
#include <cstdlib>

namespace runel::KeyboardShortcuts {

namespace {

Q_LOGGING_CATEGORY(lcX11, "runel.shortcuts.x11")

using namespace std::chrono_literals;

struct FreeDeleter {
    void operator()(void *pointer) const { std::free(pointer); }
};
template<typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

constexpr uint16_t combinationModifiers
    = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
// How often the key state is read while a combination is down, to find its release.
constexpr auto releasePollInterval = 15ms;
// How often a hold asks the server whether the focus has come (bounded by the hold timeout).
constexpr auto focusPollInterval = 10ms;
// How long the keys typed after a hot key wait for the HUD to take the focus before they go
// to the focused window. A loaded machine (or a sanitizer build) can take longer than half a
// second to map the HUD, and a key let go early is a key lost; a window manager that never gives
// the HUD the focus costs the keyboard a second at the most.
constexpr auto defaultHoldTimeout = 1000ms;

uint16_t xModifiers(int carbonModifiers)
{
    uint16_t modifiers = 0;
    if (carbonModifiers & CarbonModifier::command)
        modifiers |= XCB_MOD_MASK_4;
    if (carbonModifiers & CarbonModifier::shift)
        modifiers |= XCB_MOD_MASK_SHIFT;
    if (carbonModifiers & CarbonModifier::option)
        modifiers |= XCB_MOD_MASK_1;
    if (carbonModifiers & CarbonModifier::control)
        modifiers |= XCB_MOD_MASK_CONTROL;
    return modifiers;
}

// Turns on detectable auto-repeat and asks for the XKB notifications that change the mapping.
// Returns the extension's first event code, 0 when the server has no XKB.
uint8_t setUpXkb(xcb_connection_t *connection)
{
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(connection, &xcb_xkb_id);
    if (!extension || !extension->present)
        return 0;
    Reply<xcb_xkb_use_extension_reply_t> use(xcb_xkb_use_extension_reply(connection,
        xcb_xkb_use_extension(connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr));
    if (!use || !use->supported)
        return 0;
    const auto flags = xcb_xkb_per_client_flags(connection, XCB_XKB_ID_USE_CORE_KBD,
        XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT,
        XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT, 0, 0, 0);
    xcb_discard_reply(connection, flags.sequence);
    const uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
    const uint16_t parts
        = XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP;
    const xcb_xkb_select_events_details_t details {};
    xcb_xkb_select_events_aux(
        connection, XCB_XKB_ID_USE_CORE_KBD, events, 0, events, parts, parts, &details);
    return extension->first_event;
}

} // namespace

std::unique_ptr<X11HotKeyBackend> X11HotKeyBackend::connect(const QByteArray &display)
{
    int screen = 0;
    xcb_connection_t *connection
        = xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screen);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    const uint8_t xkbFirstEvent = setUpXkb(connection);
    return std::unique_ptr<X11HotKeyBackend>(
        new X11HotKeyBackend(connection, screen, xkbFirstEvent));
}

X11HotKeyBackend::X11HotKeyBackend(xcb_connection_t *connection, int screen, uint8_t xkbFirstEvent)
    : m_connection(connection)
    , m_xkbFirstEvent(xkbFirstEvent)
{
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int index = 0; index < screen && screens.rem > 1; ++index)
        xcb_screen_next(&screens);
    m_root = screens.data->root;
    m_keymap = X11Keymap::read(connection);

    m_notifier = std::make_unique<QSocketNotifier>(
        xcb_get_file_descriptor(connection), QSocketNotifier::Read);
    QObject::connect(
        m_notifier.get(), &QSocketNotifier::activated, this, &X11HotKeyBackend::readEvents);
    m_holdTimer.setSingleShot(true);
    m_holdTimer.setInterval(defaultHoldTimeout);
    QObject::connect(&m_holdTimer, &QTimer::timeout, this, &X11HotKeyBackend::releaseKeys);
    m_releasePoll.setInterval(releasePollInterval);
    m_focusPoll.setInterval(focusPollInterval);
    QObject::connect(&m_focusPoll, &QTimer::timeout, this, &X11HotKeyBackend::letGoOnceFocused);
    QObject::connect(&m_releasePoll, &QTimer::timeout, this, &X11HotKeyBackend::pollReleases);
    scheduleRead();
}

X11HotKeyBackend::~X11HotKeyBackend()
{
    if (m_holding)
        letGo();
    for (const Grab &held : std::as_const(m_held))
        ungrab(held);
    m_notifier.reset();
    xcb_flush(m_connection);
    xcb_disconnect(m_connection);
}

X11HotKeyBackend::Grab X11HotKeyBackend::grabFor(const Shortcut &shortcut) const
{
    const KeyEntry *entry = KeyTable::byCarbonKeyCode(shortcut.carbonKeyCode);
    return { entry ? m_keymap.keycodeFor(entry->keysym) : uint8_t(0),
        xModifiers(shortcut.carbonModifiers) };
}

std::vector<X11HotKeyBackend::GrabResult> X11HotKeyBackend::grab(
    const std::vector<Shortcut> &shortcuts)
{
    const std::vector<uint16_t> variants = m_keymap.lockVariants();
    std::vector<std::vector<xcb_void_cookie_t>> cookies(shortcuts.size());
    for (size_t index = 0; index < shortcuts.size(); ++index) {
        const Grab wanted = grabFor(shortcuts[index]);
        if (wanted.keycode == 0)
            continue;
        for (uint16_t variant : variants) {
            cookies[index].push_back(
                xcb_grab_key_checked(m_connection, 0, m_root, wanted.modifiers | variant,
                    wanted.keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_SYNC));
        }
    }
    // One round trip answers for every grab before it; the checks below then only read what
    // has arrived.
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));

    std::vector<GrabResult> results;
    results.reserve(shortcuts.size());
    for (size_t index = 0; index < shortcuts.size(); ++index) {
        GrabResult result = cookies[index].empty() ? GrabResult::unavailable : GrabResult::held;
        for (const xcb_void_cookie_t &cookie : cookies[index]) {
            Reply<xcb_generic_error_t> error(xcb_request_check(m_connection, cookie));
            if (!error)
                continue;
            if (error->error_code == XCB_ACCESS) {
                result = GrabResult::heldElsewhere;
            } else if (result == GrabResult::held) {
                qCWarning(lcX11, "the X server refused a key grab (error %d)", error->error_code);
                result = GrabResult::unavailable;
            }
        }
        // A combination is ours whole or not at all: a variant another client holds would
        // otherwise fire for it with the lock keys in one state and for us in another.
        if (result != GrabResult::held && !cookies[index].empty())
            ungrab(grabFor(shortcuts[index]));
        if (result == GrabResult::unavailable && cookies[index].empty()) {
            qCDebug(
                lcX11, "no key of this keyboard gives key code %d", shortcuts[index].carbonKeyCode);
        }
        results.push_back(result);
    }
    return results;
}

void X11HotKeyBackend::ungrab(const Grab &held)
{
    if (held.keycode == 0)
        return;
    for (uint16_t variant : m_keymap.lockVariants())
        xcb_ungrab_key(m_connection, held.keycode, m_root, held.modifiers | variant);
}

void X11HotKeyBackend::setBindings(const std::vector<Binding> &bindings)
{
    QHash<Shortcut, Binding> wanted;
    for (const Binding &binding : bindings)
        wanted.insert(binding.shortcut, binding);
    if (wanted == m_wanted)
        return;
    const QSet<Shortcut> previousConflicts = m_heldElsewhere;
    for (auto it = m_held.begin(); it != m_held.end();) {
        if (wanted.contains(it.key())) {
            ++it;
        } else {
            ungrab(it.value());
            it = m_held.erase(it);
        }
    }
    m_heldElsewhere.removeIf([&](const Shortcut &shortcut) { return !wanted.contains(shortcut); });
    m_wanted = std::move(wanted);
    grabWanted(previousConflicts);
}

void X11HotKeyBackend::grabWanted(const QSet<Shortcut> &previousConflicts)
{
    std::vector<Shortcut> missing;
    for (const Shortcut &shortcut : m_wanted.keys()) {
        if (!m_held.contains(shortcut))
            missing.push_back(shortcut);
    }
    const std::vector<GrabResult> results = grab(missing);
    for (size_t index = 0; index < missing.size(); ++index) {
        if (results[index] == GrabResult::held)
            m_held.insert(missing[index], grabFor(missing[index]));
        if (results[index] == GrabResult::heldElsewhere)
            m_heldElsewhere.insert(missing[index]);
        else
            m_heldElsewhere.remove(missing[index]);
    }
    xcb_flush(m_connection);
    scheduleRead();
    if (m_heldElsewhere != previousConflicts)
        Q_EMIT stateChanged();
}

bool X11HotKeyBackend::isHeldElsewhere(const Shortcut &shortcut)
{
    if (m_held.contains(shortcut))
        return false;
    const GrabResult result = grab({ shortcut }).front();
    const bool wanted = m_wanted.contains(shortcut);
    bool changed = false;
    if (result == GrabResult::held && wanted) {
        m_held.insert(shortcut, grabFor(shortcut));
        changed = m_heldElsewhere.remove(shortcut);
    } else if (result == GrabResult::held) {
        // Only a question: let it go, and be sure the server has before answering, so whoever
        // asked can take the combination next.
        ungrab(grabFor(shortcut));
        std::free(
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    } else if (result == GrabResult::heldElsewhere && wanted) {
        changed = !m_heldElsewhere.contains(shortcut);
        m_heldElsewhere.insert(shortcut);
    }
    xcb_flush(m_connection);
    scheduleRead();
    if (changed)
        Q_EMIT stateChanged();
    return result == GrabResult::heldElsewhere;
}

void X11HotKeyBackend::remap()
{
    // The old key codes go with the old mapping: let go of them before reading the new one.
    for (const Grab &held : std::as_const(m_held))
        ungrab(held);
    m_held.clear();
    const QSet<Shortcut> previousConflicts = m_heldElsewhere;
    m_keymap = X11Keymap::read(m_connection);
    grabWanted(previousConflicts);
}

void X11HotKeyBackend::scheduleRead()
{
    // Waiting for a reply may have moved events into xcb's queue, where the socket notifier no
    // longer sees them.
    if (m_readScheduled)
        return;
    m_readScheduled = true;
    QTimer::singleShot(0, this, &X11HotKeyBackend::readEvents);
}

void X11HotKeyBackend::readEvents()
{
    m_readScheduled = false;
    if (xcb_connection_has_error(m_connection)) {
        if (m_notifier->isEnabled())
            qCWarning(lcX11, "the connection to the X server is lost: no more hot keys");
        m_notifier->setEnabled(false);
        return;
    }
    for (;;) {
        while (Reply<xcb_generic_event_t> event { xcb_poll_for_event(m_connection) }) {
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_KEY_PRESS) {
                const auto *press = reinterpret_cast<const xcb_key_press_event_t *>(event.get());
                handlePress(press->detail, press->state, press->time);
            } else if (type == XCB_KEY_RELEASE) {
                handleRelease(
                    reinterpret_cast<const xcb_key_release_event_t *>(event.get())->detail);
            } else if (type == XCB_MAPPING_NOTIFY) {
                const auto *notify
                    = reinterpret_cast<const xcb_mapping_notify_event_t *>(event.get());
                m_mappingChanged |= notify->request != XCB_MAPPING_POINTER;
            } else if (m_xkbFirstEvent != 0 && type == m_xkbFirstEvent) {
                // Every XKB event carries its kind in the second byte.
                const uint8_t xkbType = event->pad0;
                m_mappingChanged
                    |= xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || xkbType == XCB_XKB_MAP_NOTIFY;
            } else if (type == 0) {
                qCDebug(lcX11, "X error %d",
                    reinterpret_cast<const xcb_generic_error_t *>(event.get())->error_code);
            }
        }
        // One new mapping for a burst of notifications (setxkbmap sends several).
        if (!m_mappingChanged)
            break;
        m_mappingChanged = false;
        remap();
    }
}

void X11HotKeyBackend::handlePress(uint8_t keycode, uint16_t state, quint32 time)
{
    // The press froze the keyboard (synchronous grab): every path below lets it go or holds it.
    const uint16_t modifiers = state & combinationModifiers & ~m_keymap.lockMask();
    const auto held = std::find_if(m_held.cbegin(), m_held.cend(),
        [&](const Grab &grab) { return grab.keycode == keycode && grab.modifiers == modifiers; });
    const bool alreadyDown = std::any_of(
        m_down.begin(), m_down.end(), [&](const Down &down) { return down.keycode == keycode; });
    // An auto-repeat, or a grab let go of after the press was on its way.
    if (held == m_held.cend() || alreadyDown) {
        letGo();
        return;
    }
    const Shortcut shortcut = held.key();
    const Binding binding = m_wanted.value(shortcut);
    m_down.push_back({ keycode, binding.names });
    if (!m_releasePoll.isActive())
        m_releasePoll.start();

    // Decided before the handlers run, so that none of them has to call back into a press that
    // is still being reported.
    if (binding.holdsKeys) {
        m_holding = true;
        m_holdTimer.start();
    }
    m_inPressHandler = true;
    for (const QString &name : binding.names)
        Q_EMIT pressed(name, time);
    m_inPressHandler = false;
    if (!binding.holdsKeys)
        letGo();
}

void X11HotKeyBackend::emitReleased(const QStringList &names)
{
    for (const QString &name : names)
        Q_EMIT released(name);
}

void X11HotKeyBackend::handleRelease(uint8_t keycode)
{
    const auto down = std::find_if(
        m_down.begin(), m_down.end(), [&](const Down &entry) { return entry.keycode == keycode; });
    if (down == m_down.end())
        return;
    const QStringList names = down->names;
    m_down.erase(down);
    emitReleased(names);
}

void X11HotKeyBackend::pollReleases()
{
    Reply<xcb_query_keymap_reply_t> keys(
        xcb_query_keymap_reply(m_connection, xcb_query_keymap(m_connection), nullptr));
    std::vector<QStringList> released;
    std::erase_if(m_down, [&](const Down &down) {
        // Without an answer the server is gone, and so is every key.
        const bool isDown = keys && (keys->keys[down.keycode / 8] & (1u << (down.keycode % 8)));
        if (!isDown)
            released.push_back(down.names);
        return !isDown;
    });
    if (m_down.empty())
        m_releasePoll.stop();
    for (const QStringList &names : released)
        emitReleased(names);
    readEvents();
}

void X11HotKeyBackend::holdKeys(quint32 time)
{
    // A press being reported holds the keys as its binding says: its keyboard is frozen already.
    if (m_inPressHandler || m_holding)
        return;
    Reply<xcb_grab_keyboard_reply_t> reply(xcb_grab_keyboard_reply(m_connection,
        xcb_grab_keyboard(m_connection, 0, m_root, time == 0 ? XCB_CURRENT_TIME : time,
            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_SYNC),
        nullptr));
    scheduleRead();
    if (!reply || reply->status != XCB_GRAB_STATUS_SUCCESS) {
        qCDebug(lcX11, "cannot hold the keyboard (status %d)", reply ? reply->status : -1);
        return;
    }
    m_holding = true;
    m_holdTimer.start();
}

void X11HotKeyBackend::releaseKeys()
{
    // During the handlers the press lets go by itself unless its binding holds the keys.
    if (m_holding && !m_inPressHandler)
        letGo();
}

void X11HotKeyBackend::releaseKeysOnceFocused(quintptr window)
{
    if (window == 0 || !m_holding) {
        releaseKeys();
        return;
    }
    m_focusTarget = uint32_t(window);
    letGoOnceFocused();
}

void X11HotKeyBackend::letGoOnceFocused()
{
    if (!m_holding) {
        m_focusPoll.stop();
        return;
    }
    Reply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    scheduleRead();
    // Without an answer the server is gone, and the keyboard with it.
    if (!focus || focus->focus == m_focusTarget)
        letGo();
    else if (!m_focusPoll.isActive())
        m_focusPoll.start();
}

void X11HotKeyBackend::letGo()
{
    // The ungrab thaws the keyboard and ends the grab in one step, so the keys that waited go
    // to the focused window, in order.
    xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
    xcb_flush(m_connection);
    m_holding = false;
    m_holdTimer.stop();
    m_focusPoll.stop();
}

} // namespace runel::KeyboardShortcuts

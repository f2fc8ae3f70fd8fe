#include "KeyboardLayoutFallback.h"

#include <QGuiApplication>
#include <memory>

#ifdef RUNEL_HAVE_XKBCOMMON
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>
#endif

namespace runel::gui::KeyboardLayoutFallback {

namespace {

// The US layout's printable keys by XKB key code, unshifted and shifted.
struct Row {
    quint32 first;
    const char *plain;
    const char *shifted;
};
constexpr Row usRows[] = {
    { 10, "1234567890-=", "!@#$%^&*()_+" },
    { 24, "qwertyuiop[]", "QWERTYUIOP{}" },
    { 38, "asdfghjkl;'`", "ASDFGHJKL:\"~" },
    { 51, "\\zxcvbnm,./", "|ZXCVBNM<>?" },
    { 65, " ", " " },
};

#ifdef RUNEL_HAVE_XKBCOMMON
struct KeymapDeleter {
    void operator()(xkb_keymap *keymap) const { xkb_keymap_unref(keymap); }
};
struct ContextDeleter {
    void operator()(xkb_context *context) const { xkb_context_unref(context); }
};
using Keymap = std::unique_ptr<xkb_keymap, KeymapDeleter>;

// The key code of the key left of the home row's second key: "a" on every Latin layout.
constexpr xkb_keycode_t homeRowFirstKey = 38;

QString characterIn(xkb_keymap *keymap, xkb_layout_index_t layout, quint32 key, bool shift)
{
    const xkb_keysym_t *syms = nullptr;
    int count = xkb_keymap_key_get_syms_by_level(keymap, key, layout, shift ? 1 : 0, &syms);
    if (count < 1 && shift)
        count = xkb_keymap_key_get_syms_by_level(keymap, key, layout, 0, &syms);
    if (count < 1)
        return {};
    const uint32_t code = xkb_keysym_to_utf32(syms[0]);
    return code >= 0x20 ? QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1)
                        : QString();
}

bool isLatinLayout(xkb_keymap *keymap, xkb_layout_index_t layout)
{
    const QString a = characterIn(keymap, layout, homeRowFirstKey, false);
    return a.size() == 1 && a[0].isLetter() && a[0].unicode() < 0x80;
}

// The server's keymap, with every layout the user configured as one group.
Keymap serverKeymap(xkb_context *context)
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return {};
    xcb_connection_t *connection = x11->connection();
    if (!xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
            XKB_X11_MIN_MINOR_XKB_VERSION, XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
            nullptr, nullptr))
        return {};
    const int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
    if (device < 0)
        return {};
    return Keymap(
        xkb_x11_keymap_new_from_device(context, connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS));
}

Keymap usKeymap(xkb_context *context)
{
    const xkb_rule_names names { "evdev", "pc105", "us", "", "" };
    return Keymap(xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
}

// The first Latin layout of the user's keymap, else the US keymap; built once. The
// keymap of a session rarely changes, and a layout added later only matters when the
// first Latin one changes.
struct LatinLayout {
    Keymap keymap;
    xkb_layout_index_t layout = 0;
};

const LatinLayout &latinLayout()
{
    static const LatinLayout found = [] {
        LatinLayout made;
        std::unique_ptr<xkb_context, ContextDeleter> context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
        if (!context)
            return made;
        if (Keymap server = serverKeymap(context.get())) {
            const xkb_layout_index_t layouts = xkb_keymap_num_layouts(server.get());
            for (xkb_layout_index_t layout = 0; layout < layouts; ++layout) {
                if (isLatinLayout(server.get(), layout)) {
                    made.keymap = std::move(server);
                    made.layout = layout;
                    return made;
                }
            }
        }
        made.keymap = usKeymap(context.get());
        return made;
    }();
    return found;
}
#endif

} // namespace

QString usCharacter(quint32 nativeScanCode, bool shift)
{
    for (const Row &row : usRows) {
        const auto length = quint32(qstrlen(row.plain));
        if (nativeScanCode >= row.first && nativeScanCode < row.first + length) {
            const char *keys = shift ? row.shifted : row.plain;
            return QString(QLatin1Char(keys[nativeScanCode - row.first]));
        }
    }
    return {};
}

QString latinCharacter(quint32 nativeScanCode, bool shift)
{
#ifdef RUNEL_HAVE_XKBCOMMON
    const LatinLayout &latin = latinLayout();
    if (latin.keymap && nativeScanCode != 0) {
        const QString character
            = characterIn(latin.keymap.get(), latin.layout, nativeScanCode, shift);
        if (!character.isEmpty())
            return character;
    }
#endif
    return usCharacter(nativeScanCode, shift);
}

} // namespace runel::gui::KeyboardLayoutFallback

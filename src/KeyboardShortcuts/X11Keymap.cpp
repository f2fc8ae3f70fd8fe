#include "X11Keymap.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace runel::KeyboardShortcuts {

namespace {

constexpr uint32_t numLockKeysym = 0xff7f;
constexpr uint32_t scrollLockKeysym = 0xff14;

struct FreeDeleter {
    void operator()(void *pointer) const { std::free(pointer); }
};
template<typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

} // namespace

X11Keymap X11Keymap::read(xcb_connection_t *connection)
{
    X11Keymap keymap;
    const xcb_setup_t *setup = xcb_get_setup(connection);
    const uint8_t count = setup->max_keycode - setup->min_keycode + 1;
    // Both requests go out before either reply is awaited: one round trip.
    auto mappingCookie = xcb_get_keyboard_mapping(connection, setup->min_keycode, count);
    auto modifierCookie = xcb_get_modifier_mapping(connection);
    Reply<xcb_get_keyboard_mapping_reply_t> mapping(
        xcb_get_keyboard_mapping_reply(connection, mappingCookie, nullptr));
    Reply<xcb_get_modifier_mapping_reply_t> modifiers(
        xcb_get_modifier_mapping_reply(connection, modifierCookie, nullptr));
    if (!mapping || !modifiers)
        return keymap;

    keymap.m_minKeycode = setup->min_keycode;
    keymap.m_keysymsPerKeycode = mapping->keysyms_per_keycode;
    const xcb_keysym_t *keysyms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    keymap.m_keysyms.assign(
        keysyms, keysyms + xcb_get_keyboard_mapping_keysyms_length(mapping.get()));

    const xcb_keycode_t *modifierKeycodes = xcb_get_modifier_mapping_keycodes(modifiers.get());
    const std::vector<uint8_t> modifierMap(modifierKeycodes,
        modifierKeycodes + xcb_get_modifier_mapping_keycodes_length(modifiers.get()));
    keymap.m_numLockMask
        = keymap.modifierMaskOf(numLockKeysym, modifierMap, modifiers->keycodes_per_modifier);
    keymap.m_scrollLockMask
        = keymap.modifierMaskOf(scrollLockKeysym, modifierMap, modifiers->keycodes_per_modifier);
    return keymap;
}

uint8_t X11Keymap::keycodeFor(uint32_t keysym) const
{
    if (m_keysymsPerKeycode == 0 || keysym == 0)
        return 0;
    const size_t keycodes = m_keysyms.size() / m_keysymsPerKeycode;
    for (int column = 0; column < m_keysymsPerKeycode; ++column) {
        for (size_t index = 0; index < keycodes; ++index) {
            if (m_keysyms[index * m_keysymsPerKeycode + column] == keysym)
                return static_cast<uint8_t>(m_minKeycode + index);
        }
    }
    return 0;
}

uint16_t X11Keymap::modifierMaskOf(
    uint32_t keysym, const std::vector<uint8_t> &modifierKeycodes, int keycodesPerModifier) const
{
    if (keycodesPerModifier == 0 || m_keysymsPerKeycode == 0)
        return 0;
    // Eight rows (Shift, Lock, Control, Mod1 to Mod5) of keycodesPerModifier key codes each; any
    // key that gives the keysym in any column counts.
    for (size_t index = 0; index < modifierKeycodes.size(); ++index) {
        const size_t row = size_t(modifierKeycodes[index] - m_minKeycode) * m_keysymsPerKeycode;
        if (modifierKeycodes[index] < m_minKeycode || row >= m_keysyms.size())
            continue;
        const auto first = m_keysyms.begin() + std::ptrdiff_t(row);
        if (std::find(first, first + m_keysymsPerKeycode, keysym) != first + m_keysymsPerKeycode)
            return static_cast<uint16_t>(1u << (index / keycodesPerModifier));
    }
    return 0;
}

uint16_t X11Keymap::lockMask() const
{
    return XCB_MOD_MASK_LOCK | m_numLockMask | m_scrollLockMask;
}

std::vector<uint16_t> X11Keymap::lockVariants() const
{
    std::vector<uint16_t> variants;
    for (uint16_t caps : { uint16_t(0), uint16_t(XCB_MOD_MASK_LOCK) }) {
        for (uint16_t num : { uint16_t(0), m_numLockMask }) {
            for (uint16_t scroll : { uint16_t(0), m_scrollLockMask }) {
                const auto variant = static_cast<uint16_t>(caps | num | scroll);
                if (std::find(variants.begin(), variants.end(), variant) == variants.end())
                    variants.push_back(variant);
            }
        }
    }
    return variants;
}

} // namespace runel::KeyboardShortcuts

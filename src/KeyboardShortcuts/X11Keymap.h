#pragma once

#include <cstdint>
#include <vector>

struct xcb_connection_t;

namespace runel::KeyboardShortcuts {

// The keyboard's current mapping as the core protocol reports it (with XKB the server derives it
// from the active layout): which key code gives a keysym, and which modifier bits the lock keys
// set. Read again whenever the server says the mapping changed.
class X11Keymap {
public:
    // The mapping now; empty (every lookup fails, no lock bits) when the server does not answer.
    static X11Keymap read(xcb_connection_t *connection);

    // The key code that gives keysym, 0 when no key does. The first column wins over later
    // ones (a key whose plain symbol it is beats one that needs Shift or another group), then
    // the lowest key code, as the X library's own lookup does.
    uint8_t keycodeFor(uint32_t keysym) const;

    // The modifier bits of Num Lock and Scroll Lock as the modifier map places them; 0 when the
    // key is on no modifier.
    uint16_t numLockMask() const { return m_numLockMask; }
    uint16_t scrollLockMask() const { return m_scrollLockMask; }
    // Every combination of the lock bits (Caps Lock, Num Lock, Scroll Lock), without repeats:
    // a grab must be made once for each, since the server matches modifiers exactly.
    std::vector<uint16_t> lockVariants() const;
    uint16_t lockMask() const;

private:
    uint16_t modifierMaskOf(uint32_t keysym, const std::vector<uint8_t> &modifierKeycodes,
        int keycodesPerModifier) const;

    uint8_t m_minKeycode = 0;
    int m_keysymsPerKeycode = 0;
    std::vector<uint32_t> m_keysyms; // per key code from m_minKeycode, m_keysymsPerKeycode each
    uint16_t m_numLockMask = 0;
    uint16_t m_scrollLockMask = 0;
};

} // namespace runel::KeyboardShortcuts

#pragma once

#include <QString>
#include <cstdint>
#include <span>

namespace runel::KeyboardShortcuts {

// One key of the table: its Carbon virtual key code (the stored unit), the Qt key and X keysym
// it is on this desktop, and its name for people. Keys without a Carbon code (F21 to F35 and a
// few PC keys) have codes of their own from 1000 up, never used by Carbon.
struct KeyEntry {
    int carbonKeyCode;
    int qtKey; // Qt::Key
    bool keypad; // the key is on the keypad (Qt reports it with Qt::KeypadModifier)
    uint32_t keysym; // X keysym
    const char16_t *name; // "L", "F5", "Space", "Num+"
};

// The one table of every key a shortcut may use: a US layout, F1 to F35 and the named keys.
class KeyTable {
public:
    static std::span<const KeyEntry> entries();
    static const KeyEntry *byCarbonKeyCode(int carbonKeyCode);
    static const KeyEntry *byQtKey(int qtKey, bool keypad);
    static const KeyEntry *byKeysym(uint32_t keysym);
    // Whether the key is one of F1 to F35: the only keys taken without Ctrl, Alt or Super.
    static bool isFunctionKey(int carbonKeyCode);
};

} // namespace runel::KeyboardShortcuts

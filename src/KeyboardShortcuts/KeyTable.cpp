#include "KeyTable.h"

#include <Qt>
#include <algorithm>

namespace runel::KeyboardShortcuts {

namespace {

// Sorted by Carbon key code. Carbon numbers the keys of a US layout by position; F21 to F35 and
// the PC keys Print, Scroll Lock, Pause and Menu have no Carbon code and are numbered from 1000.
// Keypad keys share their Qt key with the main keys and differ by the keypad flag.
constexpr KeyEntry keyEntries[] = {
    { 0, Qt::Key_A, false, 0x0061, u"A" },
    { 1, Qt::Key_S, false, 0x0073, u"S" },
    { 2, Qt::Key_D, false, 0x0064, u"D" },
    { 3, Qt::Key_F, false, 0x0066, u"F" },
    { 4, Qt::Key_H, false, 0x0068, u"H" },
    { 5, Qt::Key_G, false, 0x0067, u"G" },
    { 6, Qt::Key_Z, false, 0x007a, u"Z" },
    { 7, Qt::Key_X, false, 0x0078, u"X" },
    { 8, Qt::Key_C, false, 0x0063, u"C" },
    { 9, Qt::Key_V, false, 0x0076, u"V" },
    { 11, Qt::Key_B, false, 0x0062, u"B" },
    { 12, Qt::Key_Q, false, 0x0071, u"Q" },
    { 13, Qt::Key_W, false, 0x0077, u"W" },
    { 14, Qt::Key_E, false, 0x0065, u"E" },
    { 15, Qt::Key_R, false, 0x0072, u"R" },
    { 16, Qt::Key_Y, false, 0x0079, u"Y" },
    { 17, Qt::Key_T, false, 0x0074, u"T" },
    { 18, Qt::Key_1, false, 0x0031, u"1" },
    { 19, Qt::Key_2, false, 0x0032, u"2" },
    { 20, Qt::Key_3, false, 0x0033, u"3" },
    { 21, Qt::Key_4, false, 0x0034, u"4" },
    { 22, Qt::Key_6, false, 0x0036, u"6" },
    { 23, Qt::Key_5, false, 0x0035, u"5" },
    { 24, Qt::Key_Equal, false, 0x003d, u"=" },
    { 25, Qt::Key_9, false, 0x0039, u"9" },
    { 26, Qt::Key_7, false, 0x0037, u"7" },
    { 27, Qt::Key_Minus, false, 0x002d, u"-" },
    { 28, Qt::Key_8, false, 0x0038, u"8" },
    { 29, Qt::Key_0, false, 0x0030, u"0" },
    { 30, Qt::Key_BracketRight, false, 0x005d, u"]" },
    { 31, Qt::Key_O, false, 0x006f, u"O" },
    { 32, Qt::Key_U, false, 0x0075, u"U" },
    { 33, Qt::Key_BracketLeft, false, 0x005b, u"[" },
    { 34, Qt::Key_I, false, 0x0069, u"I" },
    { 35, Qt::Key_P, false, 0x0070, u"P" },
    { 36, Qt::Key_Return, false, 0xff0d, u"Return" },
    { 37, Qt::Key_L, false, 0x006c, u"L" },
    { 38, Qt::Key_J, false, 0x006a, u"J" },
    { 39, Qt::Key_Apostrophe, false, 0x0027, u"'" },
    { 40, Qt::Key_K, false, 0x006b, u"K" },
    { 41, Qt::Key_Semicolon, false, 0x003b, u";" },
    { 42, Qt::Key_Backslash, false, 0x005c, u"\\" },
    { 43, Qt::Key_Comma, false, 0x002c, u"," },
    { 44, Qt::Key_Slash, false, 0x002f, u"/" },
    { 45, Qt::Key_N, false, 0x006e, u"N" },
    { 46, Qt::Key_M, false, 0x006d, u"M" },
    { 47, Qt::Key_Period, false, 0x002e, u"." },
    { 48, Qt::Key_Tab, false, 0xff09, u"Tab" },
    { 49, Qt::Key_Space, false, 0x0020, u"Space" },
    { 50, Qt::Key_QuoteLeft, false, 0x0060, u"`" },
    { 51, Qt::Key_Backspace, false, 0xff08, u"Backspace" },
    { 53, Qt::Key_Escape, false, 0xff1b, u"Escape" },
    { 64, Qt::Key_F17, false, 0xffce, u"F17" },
    { 65, Qt::Key_Period, true, 0xffae, u"Num." },
    { 67, Qt::Key_Asterisk, true, 0xffaa, u"Num*" },
    { 69, Qt::Key_Plus, true, 0xffab, u"Num+" },
    { 71, Qt::Key_Clear, true, 0xff0b, u"Clear" },
    { 75, Qt::Key_Slash, true, 0xffaf, u"Num/" },
    { 76, Qt::Key_Enter, true, 0xff8d, u"Enter" },
    { 78, Qt::Key_Minus, true, 0xffad, u"Num-" },
    { 79, Qt::Key_F18, false, 0xffcf, u"F18" },
    { 80, Qt::Key_F19, false, 0xffd0, u"F19" },
    { 81, Qt::Key_Equal, true, 0xffbd, u"Num=" },
    { 82, Qt::Key_0, true, 0xffb0, u"Num0" },
    { 83, Qt::Key_1, true, 0xffb1, u"Num1" },
    { 84, Qt::Key_2, true, 0xffb2, u"Num2" },
    { 85, Qt::Key_3, true, 0xffb3, u"Num3" },
    { 86, Qt::Key_4, true, 0xffb4, u"Num4" },
    { 87, Qt::Key_5, true, 0xffb5, u"Num5" },
    { 88, Qt::Key_6, true, 0xffb6, u"Num6" },
    { 89, Qt::Key_7, true, 0xffb7, u"Num7" },
    { 90, Qt::Key_F20, false, 0xffd1, u"F20" },
    { 91, Qt::Key_8, true, 0xffb8, u"Num8" },
    { 92, Qt::Key_9, true, 0xffb9, u"Num9" },
    { 96, Qt::Key_F5, false, 0xffc2, u"F5" },
    { 97, Qt::Key_F6, false, 0xffc3, u"F6" },
    { 98, Qt::Key_F7, false, 0xffc4, u"F7" },
    { 99, Qt::Key_F3, false, 0xffc0, u"F3" },
    { 100, Qt::Key_F8, false, 0xffc5, u"F8" },
    { 101, Qt::Key_F9, false, 0xffc6, u"F9" },
    { 103, Qt::Key_F11, false, 0xffc8, u"F11" },
    { 105, Qt::Key_F13, false, 0xffca, u"F13" },
    { 106, Qt::Key_F16, false, 0xffcd, u"F16" },
    { 107, Qt::Key_F14, false, 0xffcb, u"F14" },
    { 109, Qt::Key_F10, false, 0xffc7, u"F10" },
    { 111, Qt::Key_F12, false, 0xffc9, u"F12" },
    { 113, Qt::Key_F15, false, 0xffcc, u"F15" },
    { 114, Qt::Key_Insert, false, 0xff63, u"Insert" },
    { 115, Qt::Key_Home, false, 0xff50, u"Home" },
    { 116, Qt::Key_PageUp, false, 0xff55, u"Page Up" },
    { 117, Qt::Key_Delete, false, 0xffff, u"Delete" },
    { 118, Qt::Key_F4, false, 0xffc1, u"F4" },
    { 119, Qt::Key_End, false, 0xff57, u"End" },
    { 120, Qt::Key_F2, false, 0xffbf, u"F2" },
    { 121, Qt::Key_PageDown, false, 0xff56, u"Page Down" },
    { 122, Qt::Key_F1, false, 0xffbe, u"F1" },
    { 123, Qt::Key_Left, false, 0xff51, u"Left" },
    { 124, Qt::Key_Right, false, 0xff53, u"Right" },
    { 125, Qt::Key_Down, false, 0xff54, u"Down" },
    { 126, Qt::Key_Up, false, 0xff52, u"Up" },
    { 1021, Qt::Key_F21, false, 0xffd2, u"F21" },
    { 1022, Qt::Key_F22, false, 0xffd3, u"F22" },
    { 1023, Qt::Key_F23, false, 0xffd4, u"F23" },
    { 1024, Qt::Key_F24, false, 0xffd5, u"F24" },
    { 1025, Qt::Key_F25, false, 0xffd6, u"F25" },
    { 1026, Qt::Key_F26, false, 0xffd7, u"F26" },
    { 1027, Qt::Key_F27, false, 0xffd8, u"F27" },
    { 1028, Qt::Key_F28, false, 0xffd9, u"F28" },
    { 1029, Qt::Key_F29, false, 0xffda, u"F29" },
    { 1030, Qt::Key_F30, false, 0xffdb, u"F30" },
    { 1031, Qt::Key_F31, false, 0xffdc, u"F31" },
    { 1032, Qt::Key_F32, false, 0xffdd, u"F32" },
    { 1033, Qt::Key_F33, false, 0xffde, u"F33" },
    { 1034, Qt::Key_F34, false, 0xffdf, u"F34" },
    { 1035, Qt::Key_F35, false, 0xffe0, u"F35" },
    { 1100, Qt::Key_Print, false, 0xff61, u"Print" },
    { 1101, Qt::Key_ScrollLock, false, 0xff14, u"Scroll Lock" },
    { 1102, Qt::Key_Pause, false, 0xff13, u"Pause" },
    { 1103, Qt::Key_Menu, false, 0xff67, u"Menu" },
};

} // namespace

std::span<const KeyEntry> KeyTable::entries()
{
    return keyEntries;
}

const KeyEntry *KeyTable::byCarbonKeyCode(int carbonKeyCode)
{
    const auto found = std::lower_bound(std::begin(keyEntries), std::end(keyEntries), carbonKeyCode,
        [](const KeyEntry &entry, int code) { return entry.carbonKeyCode < code; });
    return found != std::end(keyEntries) && found->carbonKeyCode == carbonKeyCode ? found : nullptr;
}

const KeyEntry *KeyTable::byQtKey(int qtKey, bool keypad)
{
    const auto found = std::find_if(std::begin(keyEntries), std::end(keyEntries),
        [&](const KeyEntry &entry) { return entry.qtKey == qtKey && entry.keypad == keypad; });
    if (found != std::end(keyEntries))
        return found;
    // Keys only the keypad has (Enter) or only the main block has are the same key either way.
    const auto other = std::find_if(std::begin(keyEntries), std::end(keyEntries),
        [&](const KeyEntry &entry) { return entry.qtKey == qtKey; });
    return other != std::end(keyEntries) ? other : nullptr;
}

const KeyEntry *KeyTable::byKeysym(uint32_t keysym)
{
    const auto found = std::find_if(std::begin(keyEntries), std::end(keyEntries),
        [&](const KeyEntry &entry) { return entry.keysym == keysym; });
    return found != std::end(keyEntries) ? found : nullptr;
}

bool KeyTable::isFunctionKey(int carbonKeyCode)
{
    const KeyEntry *entry = byCarbonKeyCode(carbonKeyCode);
    return entry && entry->qtKey >= Qt::Key_F1 && entry->qtKey <= Qt::Key_F35;
}

} // namespace runel::KeyboardShortcuts

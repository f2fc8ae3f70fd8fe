#pragma once

#include <QHashFunctions>
#include <QString>
#include <Qt>
#include <nlohmann/json.hpp>
#include <optional>

namespace runel::KeyboardShortcuts {

// Carbon modifier mask bits: the stored form keeps them, so settings files written for the
// original key numbering stay valid. Command is the Super key here, Option is Alt.
namespace CarbonModifier {
inline constexpr int command = 256;
inline constexpr int shift = 512;
inline constexpr int option = 2048;
inline constexpr int control = 4096;
inline constexpr int function = 131072;
} // namespace CarbonModifier

// One key combination in its stored units: a Carbon virtual key code (KeyTable translates it)
// and a Carbon modifier mask. Command-Shift-L is {37, 768}.
struct Shortcut {
    int carbonKeyCode = 0;
    int carbonModifiers = 0;

    bool operator==(const Shortcut &) const = default;

    // From a Qt key and modifiers (Meta = Super = Command, Alt = Option); none when the key has
    // no entry in KeyTable. Qt::KeypadModifier picks the keypad's keys.
    static std::optional<Shortcut> fromQt(int qtKey, Qt::KeyboardModifiers modifiers);
    Qt::KeyboardModifiers qtModifiers() const;

    // The stored object {"carbonKeyCode": 37, "carbonModifiers": 768}.
    nlohmann::json toJson() const;
    // The object, or a string holding its JSON text; anything else, or members that are not
    // integers, gives none.
    static std::optional<Shortcut> fromJson(const nlohmann::json &value);

    // How people write it: "Super+Shift+L", modifiers in the order Super, Ctrl, Alt, Shift.
    QString description() const;
};

inline size_t qHash(const Shortcut &shortcut, size_t seed = 0) noexcept
{
    return qHashMulti(seed, shortcut.carbonKeyCode, shortcut.carbonModifiers);
}

// Translates the Carbon modifier mask bit by bit; other bits are dropped.
Qt::KeyboardModifiers qtModifiersFromCarbon(int carbonModifiers);
int carbonModifiersFromQt(Qt::KeyboardModifiers modifiers);
// The modifiers of a mask as people write them ("Super+Shift"), empty for none.
QString describeModifiers(int carbonModifiers);

} // namespace runel::KeyboardShortcuts

template<> struct std::hash<runel::KeyboardShortcuts::Shortcut> {
    size_t operator()(const runel::KeyboardShortcuts::Shortcut &shortcut) const noexcept
    {
        return runel::KeyboardShortcuts::qHash(shortcut);
    }
};

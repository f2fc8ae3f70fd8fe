#include "Shortcut.h"

#include "KeyTable.h"

#include <QStringList>
#include <limits>

namespace runel::KeyboardShortcuts {

namespace {

// With Shift down Qt reports the shifted symbol of a US layout (Shift+1 is "!"), but a
// combination is a key and its modifiers: these map the symbol back to its key.
struct ShiftedSymbol {
    int symbol;
    int key;
};
constexpr ShiftedSymbol shiftedSymbols[] = {
    { Qt::Key_Exclam, Qt::Key_1 },
    { Qt::Key_At, Qt::Key_2 },
    { Qt::Key_NumberSign, Qt::Key_3 },
    { Qt::Key_Dollar, Qt::Key_4 },
    { Qt::Key_Percent, Qt::Key_5 },
    { Qt::Key_AsciiCircum, Qt::Key_6 },
    { Qt::Key_Ampersand, Qt::Key_7 },
    { Qt::Key_Asterisk, Qt::Key_8 },
    { Qt::Key_ParenLeft, Qt::Key_9 },
    { Qt::Key_ParenRight, Qt::Key_0 },
    { Qt::Key_Underscore, Qt::Key_Minus },
    { Qt::Key_Plus, Qt::Key_Equal },
    { Qt::Key_BraceLeft, Qt::Key_BracketLeft },
    { Qt::Key_BraceRight, Qt::Key_BracketRight },
    { Qt::Key_Bar, Qt::Key_Backslash },
    { Qt::Key_Colon, Qt::Key_Semicolon },
    { Qt::Key_QuoteDbl, Qt::Key_Apostrophe },
    { Qt::Key_Less, Qt::Key_Comma },
    { Qt::Key_Greater, Qt::Key_Period },
    { Qt::Key_Question, Qt::Key_Slash },
    { Qt::Key_AsciiTilde, Qt::Key_QuoteLeft },
    { Qt::Key_Backtab, Qt::Key_Tab },
};

struct ModifierBit {
    int carbon;
    Qt::KeyboardModifier qt;
    const char16_t *name;
};
// In the order people write them.
constexpr ModifierBit modifierBits[] = {
    { CarbonModifier::command, Qt::MetaModifier, u"Super" },
    { CarbonModifier::control, Qt::ControlModifier, u"Ctrl" },
    { CarbonModifier::option, Qt::AltModifier, u"Alt" },
    { CarbonModifier::shift, Qt::ShiftModifier, u"Shift" },
};

std::optional<int> integerMember(const nlohmann::json &object, const char *name)
{
    const auto found = object.find(name);
    if (found == object.end())
        return std::nullopt;
    if (found->is_number_unsigned()) {
        const auto value = found->get<std::uint64_t>();
        if (value > std::uint64_t(std::numeric_limits<int>::max()))
            return std::nullopt;
        return int(value);
    }
    if (found->is_number_integer()) {
        const auto value = found->get<std::int64_t>();
        if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
            return std::nullopt;
        return int(value);
    }
    return std::nullopt;
}

} // namespace

Qt::KeyboardModifiers qtModifiersFromCarbon(int carbonModifiers)
{
    Qt::KeyboardModifiers modifiers;
    for (const ModifierBit &bit : modifierBits) {
        if (carbonModifiers & bit.carbon)
            modifiers |= bit.qt;
    }
    return modifiers;
}

int carbonModifiersFromQt(Qt::KeyboardModifiers modifiers)
{
    int carbon = 0;
    for (const ModifierBit &bit : modifierBits) {
        if (modifiers & bit.qt)
            carbon |= bit.carbon;
    }
    return carbon;
}

std::optional<Shortcut> Shortcut::fromQt(int qtKey, Qt::KeyboardModifiers modifiers)
{
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (!keypad && modifiers.testFlag(Qt::ShiftModifier)) {
        for (const ShiftedSymbol &shifted : shiftedSymbols) {
            if (shifted.symbol == qtKey)
                qtKey = shifted.key;
        }
    }
    const KeyEntry *entry = KeyTable::byQtKey(qtKey, keypad);
    if (!entry)
        return std::nullopt;
    return Shortcut { entry->carbonKeyCode, carbonModifiersFromQt(modifiers) };
}

Qt::KeyboardModifiers Shortcut::qtModifiers() const
{
    Qt::KeyboardModifiers modifiers = qtModifiersFromCarbon(carbonModifiers);
    const KeyEntry *entry = KeyTable::byCarbonKeyCode(carbonKeyCode);
    if (entry && entry->keypad)
        modifiers |= Qt::KeypadModifier;
    return modifiers;
}

nlohmann::json Shortcut::toJson() const
{
    return { { "carbonKeyCode", carbonKeyCode }, { "carbonModifiers", carbonModifiers } };
}

std::optional<Shortcut> Shortcut::fromJson(const nlohmann::json &value)
{
    if (value.is_string()) {
        // The older stored form: the object's JSON text inside a string.
        const nlohmann::json parsed
            = nlohmann::json::parse(value.get_ref<const std::string &>(), nullptr, false);
        return parsed.is_object() ? fromJson(parsed) : std::nullopt;
    }
    if (!value.is_object())
        return std::nullopt;
    const std::optional<int> keyCode = integerMember(value, "carbonKeyCode");
    const std::optional<int> modifiers = integerMember(value, "carbonModifiers");
    if (!keyCode || !modifiers)
        return std::nullopt;
    return Shortcut { *keyCode, *modifiers };
}

QString describeModifiers(int carbonModifiers)
{
    QStringList parts;
    for (const ModifierBit &bit : modifierBits) {
        if (carbonModifiers & bit.carbon)
            parts.append(QString::fromUtf16(bit.name));
    }
    return parts.join(u'+');
}

QString Shortcut::description() const
{
    QStringList parts;
    if (const QString modifiers = describeModifiers(carbonModifiers); !modifiers.isEmpty())
        parts.append(modifiers);
    const KeyEntry *entry = KeyTable::byCarbonKeyCode(carbonKeyCode);
    parts.append(
        entry ? QString::fromUtf16(entry->name) : QStringLiteral("Key %1").arg(carbonKeyCode));
    return parts.join(u'+');
}

} // namespace runel::KeyboardShortcuts

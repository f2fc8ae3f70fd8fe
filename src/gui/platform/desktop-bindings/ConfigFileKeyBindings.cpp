#include "ConfigFileKeyBindings.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

namespace Modifier = KeyboardShortcuts::CarbonModifier;

const QString recordThenLine
    = u"Runel then gives the line that binds it to “%2” in the %1 config."_s;

// The combination's modifiers in the compositor's words, in its order.
QStringList modifierNames(int modifiers, const QString &super, const QString &control,
    const QString &alt, const QString &shift)
{
    QStringList names;
    if (modifiers & Modifier::command)
        names.append(super);
    if (modifiers & Modifier::control)
        names.append(control);
    if (modifiers & Modifier::option)
        names.append(alt);
    if (modifiers & Modifier::shift)
        names.append(shift);
    return names;
}

} // namespace

QStringList ConfigFileKeyBinding::configLines() const
{
    if (!m_command.isToggle()) {
        // Only the binding: the window rules come with the HUD's own key.
        if (!m_command.combination)
            return {};
        return { bindingLine() };
    }
    QFile file(exampleResource());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // The shipped examples, with this runel's full path in place of the bare command.
    QStringList lines;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        QString bound = line;
        bound.replace(u"exec, runel toggle"_s, u"exec, "_s + m_command.command());
        bound.replace(u"exec runel toggle"_s, u"exec "_s + m_command.command());
        lines.append(bound);
    }
    return lines;
}

QString ConfigFileKeyBinding::explanationFor(const QString &whereAndReload) const
{
    if (!m_command.combination)
        return recordFirst(recordThenLine);
    if (!m_command.isToggle())
        return u"Add this line "_s + whereAndReload + u" It binds "_s + m_command.combinationText()
            + u"."_s;
    return u"Add these lines "_s + whereAndReload + u" The first binds "_s
        + m_command.combinationText() + u"; the others float the HUD above your windows."_s;
}

QString SwayKeyBinding::name() const
{
    return u"sway"_s;
}

QString SwayKeyBinding::explanation() const
{
    return explanationFor(u"to ~/.config/sway/config, then run “swaymsg reload”."_s);
}

QString SwayKeyBinding::exampleResource() const
{
    return u":/wayland/sway.conf"_s;
}

QString SwayKeyBinding::bindingLine() const
{
    const KeyboardShortcuts::Shortcut &combination = *m_command.combination;
    const QStringList names
        = modifierNames(combination.carbonModifiers, u"Mod4"_s, u"Ctrl"_s, u"Mod1"_s, u"Shift"_s);
    return u"bindsym "_s
        + (names + QStringList { KeyBindingCommand::keyName(combination.carbonKeyCode) }).join(u'+')
        + u" exec "_s + m_command.command();
}

QString HyprlandKeyBinding::name() const
{
    return u"Hyprland"_s;
}

QString HyprlandKeyBinding::explanation() const
{
    return explanationFor(u"to ~/.config/hypr/hyprland.conf; Hyprland reloads it when you save."_s);
}

QString HyprlandKeyBinding::exampleResource() const
{
    return u":/wayland/hyprland.conf"_s;
}

QString HyprlandKeyBinding::bindingLine() const
{
    const KeyboardShortcuts::Shortcut &combination = *m_command.combination;
    const QStringList names
        = modifierNames(combination.carbonModifiers, u"SUPER"_s, u"CTRL"_s, u"ALT"_s, u"SHIFT"_s);
    return u"bind = "_s + names.join(u' ') + u", "_s
        + KeyBindingCommand::keyName(combination.carbonKeyCode) + u", exec, "_s
        + m_command.command();
}

} // namespace runel::gui

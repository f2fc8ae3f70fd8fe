#include "KeyBindingCommand.h"

#include "KeyboardShortcuts/KeyTable.h"

#include <QRegularExpression>
#ifdef RUNEL_HAVE_XKBCOMMON
#include <xkbcommon/xkbcommon.h>
#endif

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

namespace Modifier = KeyboardShortcuts::CarbonModifier;

// GNOME and Xfce split the command into words like a shell; sway and Hyprland hand it to
// sh. Quoting the path keeps a folder with spaces working in all of them.
QString shellQuoted(const QString &word)
{
    static const QRegularExpression plain(u"^[A-Za-z0-9_/.+,:@%=-]+$"_s);
    if (plain.match(word).hasMatch())
        return word;
    QString quoted = word;
    quoted.replace(u"'"_s, u"'\\''"_s);
    return u'\'' + quoted + u'\'';
}

QString joined(const QString &program, const QStringList &arguments)
{
    QStringList words { program };
    for (const QString &argument : arguments)
        words.append(shellQuoted(argument));
    return words.join(u' ');
}

} // namespace

QString KeyBindingCommand::command() const
{
    return joined(shellQuoted(runel), arguments);
}

QString KeyBindingCommand::shortCommand() const
{
    return joined(u"runel"_s, arguments);
}

QString KeyBindingCommand::combinationText() const
{
    return combination ? combination->description() : QString();
}

QString KeyBindingCommand::accelerator() const
{
    if (!combination)
        return {};
    QString text;
    const int modifiers = combination->carbonModifiers;
    if (modifiers & Modifier::shift)
        text += u"<Shift>"_s;
    if (modifiers & Modifier::control)
        text += u"<Primary>"_s;
    if (modifiers & Modifier::option)
        text += u"<Alt>"_s;
    if (modifiers & Modifier::command)
        text += u"<Super>"_s;
    return text + keyName(combination->carbonKeyCode);
}

QString KeyBindingCommand::keyName(int carbonKeyCode)
{
    const KeyboardShortcuts::KeyEntry *entry
        = KeyboardShortcuts::KeyTable::byCarbonKeyCode(carbonKeyCode);
    if (!entry)
        return {};
#ifdef RUNEL_HAVE_XKBCOMMON
    char keysymName[64];
    if (xkb_keysym_get_name(entry->keysym, keysymName, sizeof keysymName) > 0)
        return QString::fromLatin1(keysymName);
#endif
    const QString name = QString::fromUtf16(entry->name);
    return name.size() == 1 ? name.toLower() : name;
}

} // namespace runel::gui

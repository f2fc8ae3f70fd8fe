#include "XfceKeyBinding.h"

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

const QString channel = u"xfce4-keyboard-shortcuts"_s;

} // namespace

QString XfceKeyBinding::name() const
{
    return u"Xfce"_s;
}

QString XfceKeyBinding::explanation() const
{
    if (!m_command.combination)
        return recordFirst(u"Runel can then add it to %1's keyboard settings, running “%2”."_s);
    return u"Adds an application shortcut to Xfce's keyboard settings: "_s
        + m_command.combinationText() + u" runs “"_s + m_command.command()
        + u"”. Your other shortcuts stay as they are, and Remove takes out only this one."_s;
}

QString XfceKeyBinding::property() const
{
    return u"/commands/custom/"_s + m_command.accelerator();
}

Expected<QString> XfceKeyBinding::value() const
{
    const Expected<QString> list = runDesktopTool(u"xfconf-query"_s, { u"-c"_s, channel, u"-l"_s });
    if (!list)
        return list;
    if (!list->split(u'\n').contains(property()))
        return QString();
    return runDesktopTool(u"xfconf-query"_s, { u"-c"_s, channel, u"-p"_s, property() });
}

bool XfceKeyBinding::isAdded() const
{
    if (!m_command.combination)
        return false;
    const Expected<QString> current = value();
    return current && *current == m_command.command();
}

Expected<void> XfceKeyBinding::add() const
{
    if (!m_command.combination)
        return Failure { explanation() };
    const Expected<QString> current = value();
    if (!current)
        return Failure { current.error() };
    if (*current == m_command.command())
        return {};
    if (!current->isEmpty())
        return Failure { m_command.combinationText() + u" already runs “"_s + *current
            + u"” in Xfce. Remove that shortcut in Xfce's keyboard settings (Application "
              "Shortcuts) first, or bind “"_s
            + m_command.command() + u"” to another key there."_s };
    const Expected<QString> set = runDesktopTool(u"xfconf-query"_s,
        { u"-c"_s, channel, u"-p"_s, property(), u"-n"_s, u"-t"_s, u"string"_s, u"-s"_s,
            m_command.command() });
    return set ? Expected<void>() : Failure { set.error() };
}

Expected<void> XfceKeyBinding::remove() const
{
    // Only the command Runel wrote: a shortcut the user changed since is theirs.
    const Expected<QString> current = value();
    if (!current)
        return Failure { current.error() };
    if (*current != m_command.command())
        return {};
    const Expected<QString> removed
        = runDesktopTool(u"xfconf-query"_s, { u"-c"_s, channel, u"-p"_s, property(), u"-r"_s });
    return removed ? Expected<void>() : Failure { removed.error() };
}

} // namespace runel::gui

#include "GnomeKeyBinding.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

const QString schema = u"org.gnome.settings-daemon.plugins.media-keys"_s;
const QString listKey = u"custom-keybindings"_s;
// Paths of our own among the user's custom0, custom1, ... entries.
const QString folder = u"/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/"_s;

QString gvariantString(const QString &text)
{
    QString escaped = text;
    escaped.replace(u"\\"_s, u"\\\\"_s).replace(u"'"_s, u"\\'"_s);
    return u'\'' + escaped + u'\'';
}

QString gvariantList(const QStringList &items)
{
    QStringList quoted;
    for (const QString &item : items)
        quoted.append(gvariantString(item));
    return u'[' + quoted.join(u", "_s) + u']';
}

// The strings of a GVariant array as gsettings prints it: "@as []", "['/a/', '/b/']".
QStringList parseGvariantList(const QString &text)
{
    static const QRegularExpression item(u"'((?:[^'\\\\]|\\\\.)*)'"_s);
    static const QRegularExpression escape(u"\\\\(.)"_s);
    QStringList items;
    for (const QRegularExpressionMatch &match : item.globalMatch(text)) {
        QString value = match.captured(1);
        value.replace(escape, u"\\1"_s);
        items.append(value);
    }
    return items;
}

// A GVariant string as gsettings prints it: in single quotes, or in double quotes when it holds
// a single quote, with backslash escapes.
QString parseGvariantString(const QString &text)
{
    if (text.size() < 2 || (text.front() != u'\'' && text.front() != u'"')
        || text.back() != text.front())
        return text;
    static const QRegularExpression escape(u"\\\\(.)"_s);
    return text.mid(1, text.size() - 2).replace(escape, u"\\1"_s);
}

Expected<void> done(const Expected<QString> &run)
{
    return run ? Expected<void>() : Failure { run.error() };
}

} // namespace

QString GnomeKeyBinding::name() const
{
    return u"GNOME"_s;
}

QString GnomeKeyBinding::explanation() const
{
    if (!m_command.combination)
        return recordFirst(u"Runel can then add it to %1's keyboard settings, running “%2”."_s);
    return u"Adds a custom shortcut named “"_s + title() + u"” to GNOME's keyboard settings: "_s
        + m_command.combinationText() + u" runs “"_s + m_command.command()
        + u"”. Your other shortcuts stay as they are, and Remove takes out only this one."_s;
}

QString GnomeKeyBinding::path() const
{
    return folder + m_command.entryName + u'/';
}

QString GnomeKeyBinding::keyPath() const
{
    return schema + u".custom-keybinding:"_s + path();
}

Expected<QStringList> GnomeKeyBinding::list() const
{
    const Expected<QString> read = runDesktopTool(u"gsettings"_s, { u"get"_s, schema, listKey });
    if (!read)
        return Failure { read.error() };
    return parseGvariantList(*read);
}

Expected<void> GnomeKeyBinding::setList(const QStringList &paths) const
{
    return done(runDesktopTool(u"gsettings"_s, { u"set"_s, schema, listKey, gvariantList(paths) }));
}

bool GnomeKeyBinding::isAdded() const
{
    // Ours only while it still runs this command at this combination: after an edit of the
    // shortcut, adding it again brings the entry up to date.
    const Expected<QStringList> paths = list();
    if (!m_command.combination || !paths || !paths->contains(path()))
        return false;
    for (const auto &[key, value] : { std::pair(u"command"_s, m_command.command()),
             std::pair(u"binding"_s, m_command.accelerator()) }) {
        const Expected<QString> read = runDesktopTool(u"gsettings"_s, { u"get"_s, keyPath(), key });
        if (!read || parseGvariantString(*read) != value)
            return false;
    }
    return true;
}

Expected<void> GnomeKeyBinding::add() const
{
    if (!m_command.combination)
        return Failure { explanation() };
    Expected<QStringList> paths = list();
    if (!paths)
        return Failure { paths.error() };
    const QList<std::pair<QString, QString>> keys { { u"name"_s, title() },
        { u"command"_s, m_command.command() }, { u"binding"_s, m_command.accelerator() } };
    for (const auto &[key, value] : keys) {
        const Expected<QString> set
            = runDesktopTool(u"gsettings"_s, { u"set"_s, keyPath(), key, gvariantString(value) });
        if (!set)
            return Failure { set.error() };
    }
    if (paths->contains(path()))
        return {};
    // Listed last, after the keys are set: GNOME never sees a half-written entry.
    paths->append(path());
    return setList(*paths);
}

Expected<void> GnomeKeyBinding::remove() const
{
    Expected<QStringList> paths = list();
    if (!paths)
        return Failure { paths.error() };
    if (paths->removeAll(path()) > 0) {
        if (const Expected<void> listed = setList(*paths); !listed)
            return listed;
    }
    return done(runDesktopTool(u"gsettings"_s, { u"reset-recursively"_s, keyPath() }));
}

} // namespace runel::gui

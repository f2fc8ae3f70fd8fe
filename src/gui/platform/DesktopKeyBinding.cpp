#include "DesktopKeyBinding.h"

#include "KeyboardShortcuts/KeyTable.h"
#include "core/AtomicFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#ifdef RUNEL_HAVE_XKBCOMMON
#include <xkbcommon/xkbcommon.h>
#endif

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

const QString gnomeSchema = u"org.gnome.settings-daemon.plugins.media-keys"_s;
const QString gnomeListKey = u"custom-keybindings"_s;
// Paths of our own among the user's custom0, custom1, ... entries.
const QString gnomeFolder = u"/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/"_s;
const QString xfceChannel = u"xfce4-keyboard-shortcuts"_s;

namespace Modifier = KeyboardShortcuts::CarbonModifier;
const KeyboardShortcuts::Shortcut toggleCombination { 49, Modifier::control | Modifier::option };

// The key's name as X and GTK spell it ("space", "l", "F5"), which sway and Hyprland take too.
QString keyName(int carbonKeyCode)
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

// A desktop file's Exec value: "%" starts a field code there.
QString execValue(const QString &command)
{
    QString value = command;
    return value.replace(u"%"_s, u"%%"_s);
}

} // namespace

DesktopKeyBinding::DesktopKeyBinding(QString runel, const QString &currentDesktop)
    : DesktopKeyBinding(
        std::move(runel), currentDesktop, { u"toggle"_s }, u"runel"_s, toggleCombination)
{ }

DesktopKeyBinding::DesktopKeyBinding(QString runel, const QString &currentDesktop,
    QStringList arguments, QString entryName,
    std::optional<KeyboardShortcuts::Shortcut> combination)
    : m_runel(std::move(runel))
    , m_desktop(detect(currentDesktop))
    , m_kdeVersion(qEnvironmentVariableIntValue("KDE_SESSION_VERSION"))
    , m_arguments(std::move(arguments))
    , m_entryName(std::move(entryName))
    , m_combination(combination)
{ }

DesktopKeyBinding DesktopKeyBinding::forShortcut(QString runel, const QString &currentDesktop,
    const QUuid &id, const QString &keys, std::optional<KeyboardShortcuts::Shortcut> combination)
{
    QStringList arguments { u"show"_s };
    if (!keys.isEmpty())
        arguments << u"--keys"_s << keys;
    return { std::move(runel), currentDesktop, std::move(arguments),
        u"runel-"_s + id.toString(QUuid::WithoutBraces), combination };
}

DesktopKeyBinding::Desktop DesktopKeyBinding::detect(const QString &currentDesktop)
{
    // "ubuntu:GNOME", "Budgie:GNOME", "XFCE", "KDE", "sway", "Hyprland": the first known wins.
    for (const QString &name : currentDesktop.split(u':', Qt::SkipEmptyParts)) {
        const QString lower = name.trimmed().toLower();
        if (lower == u"gnome"_s || lower == u"gnome-classic"_s)
            return Desktop::gnome;
        if (lower == u"kde"_s)
            return Desktop::kde;
        if (lower == u"xfce"_s)
            return Desktop::xfce;
        if (lower == u"sway"_s)
            return Desktop::sway;
        if (lower == u"hyprland"_s)
            return Desktop::hyprland;
    }
    return Desktop::other;
}

QString DesktopKeyBinding::runelExecutable()
{
    const QString here = QCoreApplication::applicationDirPath();
    // Beside runel-app in a build tree; from libexec/runel/ to bin/ when installed.
    for (const QString &candidate : { here + u"/runel"_s, here + u"/../../bin/runel"_s }) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return info.canonicalFilePath();
    }
    const QString onPath = QStandardPaths::findExecutable(u"runel"_s);
    return onPath.isEmpty() ? u"runel"_s : onPath;
}

QString DesktopKeyBinding::desktopName() const
{
    switch (m_desktop) {
    case Desktop::gnome:
        return u"GNOME"_s;
    case Desktop::kde:
        return u"KDE Plasma"_s;
    case Desktop::xfce:
        return u"Xfce"_s;
    case Desktop::sway:
        return u"sway"_s;
    case Desktop::hyprland:
        return u"Hyprland"_s;
    case Desktop::other:
        break;
    }
    return {};
}

bool DesktopKeyBinding::canWrite() const
{
    return m_desktop == Desktop::gnome || m_desktop == Desktop::xfce
        || (m_desktop == Desktop::kde && m_kdeVersion >= 6);
}

QString DesktopKeyBinding::command() const
{
    QStringList words { shellQuoted(m_runel) };
    for (const QString &argument : m_arguments)
        words.append(shellQuoted(argument));
    return words.join(u' ');
}

QString DesktopKeyBinding::shortCommand() const
{
    QStringList words { u"runel"_s };
    for (const QString &argument : m_arguments)
        words.append(shellQuoted(argument));
    return words.join(u' ');
}

QString DesktopKeyBinding::combination() const
{
    return m_combination ? m_combination->description() : QString();
}

QString DesktopKeyBinding::accelerator() const
{
    if (!m_combination)
        return {};
    QString text;
    const int modifiers = m_combination->carbonModifiers;
    if (modifiers & Modifier::shift)
        text += u"<Shift>"_s;
    if (modifiers & Modifier::control)
        text += u"<Primary>"_s;
    if (modifiers & Modifier::option)
        text += u"<Alt>"_s;
    if (modifiers & Modifier::command)
        text += u"<Super>"_s;
    return text + keyName(m_combination->carbonKeyCode);
}

QString DesktopKeyBinding::gnomePath() const
{
    return gnomeFolder + m_entryName + u'/';
}

QString DesktopKeyBinding::gnomeKeyPath() const
{
    return gnomeSchema + u".custom-keybinding:"_s + gnomePath();
}

QString DesktopKeyBinding::xfceProperty() const
{
    return u"/commands/custom/"_s + accelerator();
}

QString DesktopKeyBinding::explanation() const
{
    // Where Runel writes the binding, or gives its line, it needs the combination first.
    if (!m_combination
        && (canWrite() || m_desktop == Desktop::sway || m_desktop == Desktop::hyprland)) {
        const QString then = canWrite()
            ? u"Runel can then add it to %1's keyboard settings, running “%2”."_s
            : u"Runel then gives the line that binds it to “%2” in the %1 config."_s;
        return u"Record a key for this shortcut above. "_s
            + then.arg(desktopName(), shortCommand());
    }
    const QString runs = combination() + u" runs “"_s + command() + u"”"_s;
    const QString title = isToggle() ? u"Runel"_s : u"Runel: "_s + shortCommand();
    switch (m_desktop) {
    case Desktop::gnome:
        return u"Adds a custom shortcut named “"_s + title + u"” to GNOME's keyboard settings: "_s
            + runs
            + u". Your other shortcuts stay as they are, and Remove takes out only this one."_s;
    case Desktop::xfce:
        return u"Adds an application shortcut to Xfce's keyboard settings: "_s + runs
            + u". Your other shortcuts stay as they are, and Remove takes out only this one."_s;
    case Desktop::kde:
        if (m_kdeVersion < 6)
            return u"Runel cannot add a shortcut on this version of KDE Plasma. In System "
                   "Settings, Shortcuts, Custom Shortcuts, add a global shortcut whose action "
                   "is “"_s
                + command() + u"”."_s;
        return u"Adds a global shortcut to KDE Plasma: "_s + runs
            + u" (a launcher in ~/.local/share/applications). If the key does not answer at "
              "once, log out and in again. Remove takes out only this shortcut."_s;
    case Desktop::sway:
        if (!isToggle())
            return u"Add this line to ~/.config/sway/config, then run “swaymsg reload”. It "
                   "binds "_s
                + combination() + u"."_s;
        return u"Add these lines to ~/.config/sway/config, then run “swaymsg reload”. The "
               "first binds "_s
            + combination() + u"; the others float the HUD above your windows."_s;
    case Desktop::hyprland:
        if (!isToggle())
            return u"Add this line to ~/.config/hypr/hyprland.conf; Hyprland reloads it when "
                   "you save. It binds "_s
                + combination() + u"."_s;
        return u"Add these lines to ~/.config/hypr/hyprland.conf; Hyprland reloads it when you "
               "save. The first binds "_s
            + combination() + u"; the others float the HUD above your windows."_s;
    case Desktop::other:
        break;
    }
    return u"Bind “"_s + command() + u"” to a key in your desktop's keyboard settings."_s;
}

QStringList DesktopKeyBinding::configLines() const
{
    if (!isToggle()) {
        // Only the binding: the window rules come with the HUD's own key.
        if (!m_combination || (m_desktop != Desktop::sway && m_desktop != Desktop::hyprland))
            return {};
        const int modifiers = m_combination->carbonModifiers;
        const QString key = keyName(m_combination->carbonKeyCode);
        QStringList names;
        const bool sway = m_desktop == Desktop::sway;
        if (modifiers & Modifier::command)
            names.append(sway ? u"Mod4"_s : u"SUPER"_s);
        if (modifiers & Modifier::control)
            names.append(sway ? u"Ctrl"_s : u"CTRL"_s);
        if (modifiers & Modifier::option)
            names.append(sway ? u"Mod1"_s : u"ALT"_s);
        if (modifiers & Modifier::shift)
            names.append(sway ? u"Shift"_s : u"SHIFT"_s);
        if (sway)
            return { u"bindsym "_s + (names + QStringList { key }).join(u'+') + u" exec "_s
                + command() };
        return { u"bind = "_s + names.join(u' ') + u", "_s + key + u", exec, "_s + command() };
    }
    QString resource;
    if (m_desktop == Desktop::sway)
        resource = u":/wayland/sway.conf"_s;
    else if (m_desktop == Desktop::hyprland)
        resource = u":/wayland/hyprland.conf"_s;
    QFile file(resource);
    if (resource.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    // The shipped examples, with this runel's full path in place of the bare command.
    QStringList lines;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        QString bound = line;
        bound.replace(u"exec, runel toggle"_s, u"exec, "_s + command());
        bound.replace(u"exec runel toggle"_s, u"exec "_s + command());
        lines.append(bound);
    }
    return lines;
}

DesktopKeyBinding::ToolRun DesktopKeyBinding::run(
    const QString &program, const QStringList &arguments) const
{
    QProcess process;
    process.start(program, arguments, QIODevice::ReadOnly);
    const auto failed = [&](const QString &why) {
        return ToolRun { { false, program + u' ' + why }, {} };
    };
    if (!process.waitForStarted(toolTimeoutMs))
        return failed(u"could not be started; is it installed?"_s);
    if (!process.waitForFinished(toolTimeoutMs)) {
        process.kill();
        process.waitForFinished(toolTimeoutMs);
        return failed(u"did not answer within %1 seconds."_s.arg(toolTimeoutMs / 1000));
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString said = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
        return failed(u"failed (exit status %1)%2"_s.arg(process.exitCode())
                          .arg(said.isEmpty() ? u"."_s : u": "_s + said));
    }
    return { {}, QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed() };
}

bool DesktopKeyBinding::isAdded() const
{
    Result result;
    switch (m_desktop) {
    case Desktop::gnome: {
        // Ours only while it still runs this command at this combination: after an edit of the
        // shortcut, adding it again brings the entry up to date.
        if (!m_combination || !gnomeList(result).contains(gnomePath()) || !result.ok)
            return false;
        for (const auto &[key, value] :
            { std::pair(u"command"_s, command()), std::pair(u"binding"_s, accelerator()) }) {
            const ToolRun read = run(u"gsettings"_s, { u"get"_s, gnomeKeyPath(), key });
            if (!read.result.ok || parseGvariantString(read.output) != value)
                return false;
        }
        return true;
    }
    case Desktop::xfce:
        return m_combination && xfceValue(result) == command() && result.ok;
    case Desktop::kde: {
        QFile file(kdeDesktopFile());
        return canWrite() && m_combination && file.open(QIODevice::ReadOnly)
            && file.readAll().split('\n').contains(u"Exec=%1"_s.arg(execValue(command())).toUtf8());
    }
    case Desktop::sway:
    case Desktop::hyprland:
    case Desktop::other:
        break;
    }
    return false;
}

DesktopKeyBinding::Result DesktopKeyBinding::add()
{
    return change(true);
}

DesktopKeyBinding::Result DesktopKeyBinding::remove()
{
    return change(false);
}

DesktopKeyBinding::Result DesktopKeyBinding::change(bool adding)
{
    if (adding && !m_combination)
        return { false, explanation() };
    switch (m_desktop) {
    case Desktop::gnome:
        return adding ? addGnome() : removeGnome();
    case Desktop::xfce:
        return adding ? addXfce() : removeXfce();
    case Desktop::kde:
        if (canWrite())
            return adding ? addKde() : removeKde();
        break;
    case Desktop::sway:
    case Desktop::hyprland:
    case Desktop::other:
        break;
    }
    return { false, explanation() };
}

// GNOME keeps a list of paths, each naming a relocatable schema with name, command and binding.

QStringList DesktopKeyBinding::gnomeList(Result &result) const
{
    const ToolRun list = run(u"gsettings"_s, { u"get"_s, gnomeSchema, gnomeListKey });
    result = list.result;
    return parseGvariantList(list.output);
}

DesktopKeyBinding::Result DesktopKeyBinding::addGnome()
{
    Result result;
    QStringList paths = gnomeList(result);
    if (!result.ok)
        return result;
    const QString name = isToggle() ? u"Runel"_s : u"Runel: "_s + shortCommand();
    const QList<std::pair<QString, QString>> keys { { u"name"_s, name },
        { u"command"_s, command() }, { u"binding"_s, accelerator() } };
    for (const auto &[key, value] : keys) {
        result
            = run(u"gsettings"_s, { u"set"_s, gnomeKeyPath(), key, gvariantString(value) }).result;
        if (!result.ok)
            return result;
    }
    if (paths.contains(gnomePath()))
        return result;
    // Listed last, after the keys are set: GNOME never sees a half-written entry.
    paths.append(gnomePath());
    return run(u"gsettings"_s, { u"set"_s, gnomeSchema, gnomeListKey, gvariantList(paths) }).result;
}

DesktopKeyBinding::Result DesktopKeyBinding::removeGnome()
{
    Result result;
    QStringList paths = gnomeList(result);
    if (!result.ok)
        return result;
    if (paths.removeAll(gnomePath()) > 0) {
        result = run(u"gsettings"_s, { u"set"_s, gnomeSchema, gnomeListKey, gvariantList(paths) })
                     .result;
        if (!result.ok)
            return result;
    }
    return run(u"gsettings"_s, { u"reset-recursively"_s, gnomeKeyPath() }).result;
}

// Xfce: one property per combination, whose value is the command.

QString DesktopKeyBinding::xfceValue(Result &result) const
{
    const ToolRun list = run(u"xfconf-query"_s, { u"-c"_s, xfceChannel, u"-l"_s });
    result = list.result;
    if (!result.ok || !list.output.split(u'\n').contains(xfceProperty()))
        return {};
    const ToolRun value = run(u"xfconf-query"_s, { u"-c"_s, xfceChannel, u"-p"_s, xfceProperty() });
    result = value.result;
    return value.output;
}

DesktopKeyBinding::Result DesktopKeyBinding::addXfce()
{
    Result result;
    const QString value = xfceValue(result);
    if (!result.ok || value == command())
        return result;
    if (!value.isEmpty())
        return { false,
            combination() + u" already runs “"_s + value
                + u"” in Xfce. Remove that shortcut in Xfce's keyboard settings (Application "
                  "Shortcuts) first, or bind “"_s
                + command() + u"” to another key there."_s };
    return run(u"xfconf-query"_s,
        { u"-c"_s, xfceChannel, u"-p"_s, xfceProperty(), u"-n"_s, u"-t"_s, u"string"_s, u"-s"_s,
            command() })
        .result;
}

DesktopKeyBinding::Result DesktopKeyBinding::removeXfce()
{
    Result result;
    // Only the command Runel wrote: a shortcut the user changed since is theirs.
    if (xfceValue(result) != command() || !result.ok)
        return result;
    return run(u"xfconf-query"_s, { u"-c"_s, xfceChannel, u"-p"_s, xfceProperty(), u"-r"_s })
        .result;
}

// KDE Plasma 6: a launcher in the user's applications folder with a global shortcut to it.

QString DesktopKeyBinding::kdeDesktopFileName() const
{
    return isToggle() ? u"runel-toggle.desktop"_s : m_entryName + u".desktop"_s;
}

QString DesktopKeyBinding::kdeDesktopFile() const
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + u"/applications/"_s + kdeDesktopFileName();
}

DesktopKeyBinding::Result DesktopKeyBinding::addKde()
{
    QDir().mkpath(QFileInfo(kdeDesktopFile()).absolutePath());
    const QString name
        = isToggle() ? u"Runel: open or close the HUD"_s : u"Runel: "_s + shortCommand();
    const QString entry = u"[Desktop Entry]\nType=Application\nName="_s + name + u"\nExec="_s
        + execValue(command()) + u"\nNoDisplay=true\nX-KDE-GlobalAccel-CommandShortcut=true\n"_s;
    // Replaced whole: a full disk leaves the file as it was, never an empty launcher.
    if (const Expected<void> written = replaceFile(kdeDesktopFile(), entry.toUtf8()); !written) {
        QString error = written.error();
        error[0] = error[0].toUpper();
        return { false, error + u'.' };
    }
    // KDE spells the combination as Qt does: "Meta+Shift+L".
    const KeyboardShortcuts::KeyEntry *key
        = KeyboardShortcuts::KeyTable::byCarbonKeyCode(m_combination->carbonKeyCode);
    const QString keys = key
        ? QKeySequence(QKeyCombination(m_combination->qtModifiers(), Qt::Key(key->qtKey)))
              .toString(QKeySequence::PortableText)
        : combination();
    const Result result = run(u"kwriteconfig6"_s,
        { u"--file"_s, u"kglobalshortcutsrc"_s, u"--group"_s, u"services"_s, u"--group"_s,
            kdeDesktopFileName(), u"--key"_s, u"_launch"_s, keys })
                              .result;
    if (!result.ok)
        QFile::remove(kdeDesktopFile());
    return result;
}

DesktopKeyBinding::Result DesktopKeyBinding::removeKde()
{
    const Result result = run(u"kwriteconfig6"_s,
        { u"--file"_s, u"kglobalshortcutsrc"_s, u"--group"_s, u"services"_s, u"--group"_s,
            kdeDesktopFileName(), u"--key"_s, u"_launch"_s, u"--delete"_s })
                              .result;
    if (!result.ok)
        return result;
    if (QFile::exists(kdeDesktopFile()) && !QFile::remove(kdeDesktopFile()))
        return { false, u"Cannot remove "_s + kdeDesktopFile() + u'.' };
    return {};
}

} // namespace runel::gui

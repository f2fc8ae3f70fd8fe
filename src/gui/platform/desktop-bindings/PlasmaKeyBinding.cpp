#include "PlasmaKeyBinding.h"

#include "KeyboardShortcuts/KeyTable.h"
#include "core/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

// A desktop file's Exec value: "%" starts a field code there.
QString execValue(const QString &command)
{
    QString value = command;
    return value.replace(u"%"_s, u"%%"_s);
}

} // namespace

QString PlasmaKeyBinding::name() const
{
    return u"KDE Plasma"_s;
}

QString PlasmaKeyBinding::explanation() const
{
    if (!canWrite())
        return u"Runel cannot add a shortcut on this version of KDE Plasma. In System "
               "Settings, Shortcuts, Custom Shortcuts, add a global shortcut whose action "
               "is “"_s
            + m_command.command() + u"”."_s;
    if (!m_command.combination)
        return recordFirst(u"Runel can then add it to %1's keyboard settings, running “%2”."_s);
    return u"Adds a global shortcut to KDE Plasma: "_s + m_command.combinationText() + u" runs “"_s
        + m_command.command()
        + u"” (a launcher in ~/.local/share/applications). If the key does not answer at "
          "once, log out and in again. Remove takes out only this shortcut."_s;
}

QString PlasmaKeyBinding::launcherName() const
{
    return m_command.isToggle() ? u"runel-toggle.desktop"_s : m_command.entryName + u".desktop"_s;
}

QString PlasmaKeyBinding::launcherPath() const
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + u"/applications/"_s + launcherName();
}

QStringList PlasmaKeyBinding::shortcutArguments() const
{
    return { u"--file"_s, u"kglobalshortcutsrc"_s, u"--group"_s, u"services"_s, u"--group"_s,
        launcherName(), u"--key"_s, u"_launch"_s };
}

bool PlasmaKeyBinding::isAdded() const
{
    QFile file(launcherPath());
    return canWrite() && m_command.combination && file.open(QIODevice::ReadOnly)
        && file.readAll().split('\n').contains(
            u"Exec=%1"_s.arg(execValue(m_command.command())).toUtf8());
}

Expected<void> PlasmaKeyBinding::add() const
{
    if (!canWrite() || !m_command.combination)
        return Failure { explanation() };
    QDir().mkpath(QFileInfo(launcherPath()).absolutePath());
    const QString title = m_command.isToggle() ? u"Runel: open or close the HUD"_s
                                               : u"Runel: "_s + m_command.shortCommand();
    const QString entry = u"[Desktop Entry]\nType=Application\nName="_s + title + u"\nExec="_s
        + execValue(m_command.command())
        + u"\nNoDisplay=true\nX-KDE-GlobalAccel-CommandShortcut=true\n"_s;
    // Replaced whole: a full disk leaves the file as it was, never an empty launcher.
    if (const Expected<void> written = replaceFile(launcherPath(), entry.toUtf8()); !written) {
        QString error = written.error();
        error[0] = error[0].toUpper();
        return Failure { error + u'.' };
    }
    // KDE spells the combination as Qt does: "Meta+Shift+L".
    const KeyboardShortcuts::Shortcut &combination = *m_command.combination;
    const KeyboardShortcuts::KeyEntry *key
        = KeyboardShortcuts::KeyTable::byCarbonKeyCode(combination.carbonKeyCode);
    const QString keys = key
        ? QKeySequence(QKeyCombination(combination.qtModifiers(), Qt::Key(key->qtKey)))
              .toString(QKeySequence::PortableText)
        : m_command.combinationText();
    const Expected<QString> bound = runDesktopTool(u"kwriteconfig6"_s, shortcutArguments() << keys);
    if (bound)
        return {};
    QFile::remove(launcherPath());
    return Failure { bound.error() };
}

Expected<void> PlasmaKeyBinding::remove() const
{
    if (!canWrite())
        return Failure { explanation() };
    const Expected<QString> unbound
        = runDesktopTool(u"kwriteconfig6"_s, shortcutArguments() << u"--delete"_s);
    if (!unbound)
        return Failure { unbound.error() };
    if (QFile::exists(launcherPath()) && !QFile::remove(launcherPath()))
        return Failure { u"Cannot remove "_s + launcherPath() + u'.' };
    return {};
}

} // namespace runel::gui

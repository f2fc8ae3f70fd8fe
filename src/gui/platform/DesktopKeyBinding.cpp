#include "DesktopKeyBinding.h"

#include "core/threading/MainThreadQueue.h"
#include "core/threading/WorkerThreads.h"
#include "gui/platform/desktop-bindings/ConfigFileKeyBindings.h"
#include "gui/platform/desktop-bindings/GnomeKeyBinding.h"
#include "gui/platform/desktop-bindings/PlasmaKeyBinding.h"
#include "gui/platform/desktop-bindings/XfceKeyBinding.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>
#include <mutex>

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

namespace Modifier = KeyboardShortcuts::CarbonModifier;
const KeyboardShortcuts::Shortcut toggleCombination { 49, Modifier::control | Modifier::option };

// One operation on the desktop's settings at a time: adding reads the desktop's list of
// shortcuts and writes it back, and two at once would lose one of the entries.
std::mutex desktopToolsMutex;

std::shared_ptr<const DesktopBinding> bindingFor(
    const QString &currentDesktop, KeyBindingCommand command)
{
    // "ubuntu:GNOME", "Budgie:GNOME", "XFCE", "KDE", "sway", "Hyprland": the first known wins.
    for (const QString &name : currentDesktop.split(u':', Qt::SkipEmptyParts)) {
        const QString lower = name.trimmed().toLower();
        if (lower == u"gnome"_s || lower == u"gnome-classic"_s)
            return std::make_shared<GnomeKeyBinding>(std::move(command));
        if (lower == u"kde"_s)
            return std::make_shared<PlasmaKeyBinding>(
                std::move(command), qEnvironmentVariableIntValue("KDE_SESSION_VERSION"));
        if (lower == u"xfce"_s)
            return std::make_shared<XfceKeyBinding>(std::move(command));
        if (lower == u"sway"_s)
            return std::make_shared<SwayKeyBinding>(std::move(command));
        if (lower == u"hyprland"_s)
            return std::make_shared<HyprlandKeyBinding>(std::move(command));
    }
    return std::make_shared<DesktopBinding>(std::move(command));
}

} // namespace

DesktopKeyBinding::DesktopKeyBinding(QString runel, const QString &currentDesktop)
    : DesktopKeyBinding(
        std::move(runel), currentDesktop, { u"toggle"_s }, u"runel"_s, toggleCombination)
{ }

DesktopKeyBinding::DesktopKeyBinding(QString runel, const QString &currentDesktop,
    QStringList arguments, QString entryName,
    std::optional<KeyboardShortcuts::Shortcut> combination)
    : m_binding(bindingFor(currentDesktop,
        { std::move(runel), std::move(arguments), std::move(entryName), combination }))
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
    return m_binding->name();
}

bool DesktopKeyBinding::canWrite() const
{
    return m_binding->canWrite();
}

QString DesktopKeyBinding::command() const
{
    return m_binding->command().command();
}

QString DesktopKeyBinding::shortCommand() const
{
    return m_binding->command().shortCommand();
}

QString DesktopKeyBinding::combination() const
{
    return m_binding->command().combinationText();
}

bool DesktopKeyBinding::hasCombination() const
{
    return m_binding->command().combination.has_value();
}

QString DesktopKeyBinding::explanation() const
{
    return m_binding->explanation();
}

QStringList DesktopKeyBinding::configLines() const
{
    return m_binding->configLines();
}

template<typename T>
void DesktopKeyBinding::runOnWorker(QObject *context, std::function<T(const DesktopBinding &)> work,
    std::function<void(T)> done, T whenNoThread) const
{
    QPointer<QObject> guard(context);
    const bool started = WorkerThreads::start(
        [binding = m_binding, work = std::move(work), done, guard]() mutable {
            T result = [&] {
                const std::lock_guard lock(desktopToolsMutex);
                return work(*binding);
            }();
            MainThreadQueue::post(
                [done = std::move(done), guard = std::move(guard), result = std::move(result)] {
                    if (guard)
                        done(result);
                });
        });
    if (!started)
        done(std::move(whenNoThread));
}

void DesktopKeyBinding::isAdded(QObject *context, std::function<void(bool)> done) const
{
    runOnWorker<bool>(
        context, [](const DesktopBinding &binding) { return binding.isAdded(); }, std::move(done),
        false);
}

void DesktopKeyBinding::add(QObject *context, std::function<void(Expected<void>)> done) const
{
    runOnWorker<Expected<void>>(
        context, [](const DesktopBinding &binding) { return binding.add(); }, std::move(done),
        Failure { u"Runel cannot start a thread to run the desktop's tools."_s });
}

void DesktopKeyBinding::remove(QObject *context, std::function<void(Expected<void>)> done) const
{
    runOnWorker<Expected<void>>(
        context, [](const DesktopBinding &binding) { return binding.remove(); }, std::move(done),
        Failure { u"Runel cannot start a thread to run the desktop's tools."_s });
}

} // namespace runel::gui

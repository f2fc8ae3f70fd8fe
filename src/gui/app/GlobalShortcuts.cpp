#include "GlobalShortcuts.h"

#include "AppDelegate.h"
#include "KeyboardShortcuts/Service.h"
#include "core/settings/ConfigManager.h"
#include "gui/settings/HotKeyNames.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

Q_LOGGING_CATEGORY(lcGlobalShortcuts, "runel.shortcuts")

using KeyboardShortcuts::Hold;

// Whether one of Runel's own windows has the keyboard. (A window just hidden may still count as
// focused for a moment: only a shown one does.)
bool ownWindowHasFocus()
{
    const QWindow *focused = QGuiApplication::focusWindow();
    return focused && focused->isVisible();
}

} // namespace

GlobalShortcuts::GlobalShortcuts(KeyboardShortcuts::Service &service, ConfigManager &configManager,
    AppDelegate &delegate, QObject *parent)
    : QObject(parent)
    , m_service(service)
    , m_configManager(configManager)
    , m_delegate(delegate)
{
    m_service.addName(HotKeyNames::toggleSearchWindow);
    m_service.addName(HotKeyNames::toggleSearchMode);
    connect(&m_configManager, &ConfigManager::shortcutsChanged, this,
        &GlobalShortcuts::registerShortcuts);
    connect(&m_service.backend(), &KeyboardShortcuts::HotKeyBackend::stateChanged, this,
        &GlobalShortcuts::reportTakenKeys);
    registerShortcuts();
}

void GlobalShortcuts::registerShortcuts()
{
    const std::vector<AppShortcut> shortcuts = m_configManager.shortcuts();
    QSet<QUuid> ids;
    for (const AppShortcut &shortcut : shortcuts)
        ids.insert(shortcut.id);
    // A removed shortcut's combination goes with it, so a new shortcut never inherits it.
    for (const QUuid &id : std::as_const(m_registeredShortcutIDs)) {
        if (!ids.contains(id))
            m_service.reset({ HotKeyNames::nameFor(id) });
    }
    m_service.removeAllHandlers();
    // Every handler opens (or may open) the HUD, so each press holds what is typed after it
    // until the HUD has the focus; handOverKeys lets go.
    m_service.onKeyDown(
        HotKeyNames::toggleSearchWindow, this,
        [this] {
            const bool ownFocus = ownWindowHasFocus();
            m_delegate.toggleSearchWindow();
            handOverKeys(ownFocus);
        },
        Hold::untilFocused);
    m_service.onKeyDown(
        HotKeyNames::toggleSearchMode, this,
        [this] {
            const bool ownFocus = ownWindowHasFocus();
            m_delegate.toggleSearchModeFromHotKey();
            handOverKeys(ownFocus);
        },
        Hold::untilFocused);
    // Each handler keeps its own copy: an edited sequence arrives with the next registration.
    for (const AppShortcut &shortcut : shortcuts) {
        KeyboardShortcuts::Name name = HotKeyNames::nameFor(shortcut.id);
        m_service.addName(name);
        m_service.onKeyDown(
            name, this,
            [this, keys = shortcut.keySequence] {
                const bool ownFocus = ownWindowHasFocus();
                m_delegate.runKeysInHud(keys);
                handOverKeys(ownFocus);
            },
            Hold::untilFocused);
    }
    m_registeredShortcutIDs = ids;
    describeNames();
}

void GlobalShortcuts::describeNames()
{
    KeyboardShortcuts::DesktopTriggers *triggers = m_service.backend().desktopTriggers();
    if (!triggers)
        return;
    const std::vector<AppShortcut> &shortcuts = m_configManager.shortcuts();
    QHash<QString, QString> descriptions;
    for (const KeyboardShortcuts::Name &name :
        { HotKeyNames::toggleSearchWindow, HotKeyNames::toggleSearchMode })
        descriptions.insert(name.rawValue, HotKeyNames::titleFor(name.rawValue, shortcuts));
    for (const AppShortcut &shortcut : shortcuts) {
        const QString name = HotKeyNames::nameFor(shortcut.id).rawValue;
        descriptions.insert(name, HotKeyNames::titleFor(name, shortcuts));
    }
    triggers->setDescriptions(descriptions);
}

void GlobalShortcuts::reportTakenKeys()
{
    const std::vector<AppShortcut> &shortcuts = m_configManager.shortcuts();
    QStringList names { HotKeyNames::toggleSearchWindow.rawValue,
        HotKeyNames::toggleSearchMode.rawValue };
    for (const AppShortcut &shortcut : shortcuts)
        names.append(HotKeyNames::nameFor(shortcut.id).rawValue);
    for (const QString &name : std::as_const(names)) {
        if (!m_service.isHeldElsewhere({ name, {} }))
            continue;
        // Once: the conflict comes back after every open menu and every recording, which let
        // go of every combination meanwhile.
        const QString combination = m_service.getShortcut({ name, {} })->description();
        const QString reported = name + u' ' + combination;
        if (m_reportedTaken.contains(reported))
            continue;
        m_reportedTaken.insert(reported);
        qCWarning(lcGlobalShortcuts).noquote()
            << tr("%1 (%2) is taken by another program, so it does not reach Runel. Choose "
                  "another in Runel's settings, or free it in that program; the tray menu's "
                  "\u201cOpen Runel\u201d works meanwhile.")
                   .arg(combination, HotKeyNames::titleFor(name, shortcuts));
    }
}

void GlobalShortcuts::playKeys(const QString &keys)
{
    if (!m_delegate.isSearchWindowOpen())
        holdKeysForHud();
    m_delegate.runKeysInHud(keys);
}

void GlobalShortcuts::holdKeysForHud()
{
    // Only from another program's window: while one of Runel's own windows has the keyboard,
    // taking it and handing it back races the window manager's activation of that window.
    if (ownWindowHasFocus())
        return;
    m_service.backend().holdKeys(0);
    watchHudFocus();
}

void GlobalShortcuts::handOverKeys(bool ownWindowHadFocus)
{
    // Never from inside the handler: the back end is still reporting the press.
    if (ownWindowHadFocus) {
        QMetaObject::invokeMethod(
            this, [this] { m_service.backend().releaseKeysOnceFocused(0); }, Qt::QueuedConnection);
        return;
    }
    watchHudFocus();
}

void GlobalShortcuts::watchHudFocus()
{
    // Released once the HUD has the focus; the back end lets go by itself after a short while
    // if that never happens, so the keyboard cannot stay held.
    QObject::disconnect(m_focusWatch);
    m_focusWatch = connect(qGuiApp, &QGuiApplication::focusWindowChanged, this,
        &GlobalShortcuts::releaseKeysOnceHudIsActive);
    QMetaObject::invokeMethod(
        this, &GlobalShortcuts::releaseKeysOnceHudIsActive, Qt::QueuedConnection);
}

void GlobalShortcuts::releaseKeysOnceHudIsActive()
{
    const quintptr hud = m_delegate.hudWindowId();
    if (hud != 0 && !m_delegate.hudHasFocus())
        return; // not yet: the window manager has not given it the focus
    QObject::disconnect(m_focusWatch);
    // Qt may take the HUD for focused a moment before the X server does: the back end waits
    // for the server's focus too (0: no HUD to wait for, let go at once).
    m_service.backend().releaseKeysOnceFocused(hud);
}

} // namespace runel::gui

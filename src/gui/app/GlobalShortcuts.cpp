#include "GlobalShortcuts.h"

#include "AppDelegate.h"
#include "Service.h"
#include "hud/SearchViewModel.h"
#include "hud/SearchWindowController.h"
#include "settings/ConfigManager.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace runel::gui {

const KeyboardShortcuts::Name GlobalShortcuts::toggleSearchWindow { u"toggleSearchWindow"_s,
    KeyboardShortcuts::Shortcut { 37,
        KeyboardShortcuts::CarbonModifier::command | KeyboardShortcuts::CarbonModifier::shift } };
const KeyboardShortcuts::Name GlobalShortcuts::toggleSearchMode { u"toggleSearchMode"_s, {} };

KeyboardShortcuts::Name GlobalShortcuts::nameFor(const QUuid &id)
{
    return { u"shortcut-"_s + id.toString(QUuid::WithoutBraces).toUpper(), {} };
}

GlobalShortcuts::GlobalShortcuts(KeyboardShortcuts::Service &service, ConfigManager &configManager,
    AppDelegate &delegate, QObject *parent)
    : QObject(parent)
    , m_service(service)
    , m_configManager(configManager)
    , m_delegate(delegate)
{
    m_service.addName(toggleSearchWindow);
    m_service.addName(toggleSearchMode);
    connect(&m_configManager, &ConfigManager::shortcutsChanged, this,
        &GlobalShortcuts::registerShortcuts);
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
            m_service.reset({ nameFor(id) });
    }
    m_service.removeAllHandlers();
    m_service.onKeyDown(toggleSearchWindow, this, [this] {
        if (m_delegate.isSearchWindowOpen()) {
            m_delegate.hideSearchWindow();
            return;
        }
        holdKeysForHud();
        m_delegate.showSearchWindow();
    });
    m_service.onKeyDown(toggleSearchMode, this, [this] {
        if (!m_delegate.isSearchWindowOpen())
            holdKeysForHud();
        m_delegate.toggleSearchModeFromHotKey();
    });
    // Each handler keeps its own copy: an edited sequence arrives with the next registration.
    for (const AppShortcut &shortcut : shortcuts) {
        KeyboardShortcuts::Name name = nameFor(shortcut.id);
        m_service.addName(name);
        m_service.onKeyDown(name, this, [this, shortcut] { runShortcut(shortcut); });
    }
    m_registeredShortcutIDs = ids;
}

void GlobalShortcuts::runShortcut(const AppShortcut &shortcut)
{
    if (!m_delegate.isSearchWindowOpen()) {
        holdKeysForHud();
        m_delegate.showSearchWindow();
    }
    if (shortcut.keySequence.isEmpty())
        return;
    if (SearchViewModel *viewModel = m_delegate.viewModel())
        viewModel->runSequence(shortcut.keySequence);
}

void GlobalShortcuts::holdKeysForHud()
{
    m_service.backend().holdKeys(0);
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
    SearchWindowController *controller = m_delegate.searchWindowController();
    QWidget *hud = controller && controller->isOpen() ? controller->hudWindow() : nullptr;
    if (hud && QGuiApplication::focusWindow() != hud->windowHandle())
        return; // not yet: the window manager has not given it the focus
    QObject::disconnect(m_focusWatch);
    m_service.backend().releaseKeys();
}

} // namespace runel::gui

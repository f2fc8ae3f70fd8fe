#include "GlobalShortcuts.h"

#include "AppDelegate.h"
#include "KeyMonitor.h"
#include "KeyboardShortcuts/Recorder/Recorder.h"
#include "KeyboardShortcuts/Service.h"
#include "core/hud/SearchViewModel.h"
#include "core/settings/ConfigManager.h"
#include "gui/hud/SearchWindowController.h"
#include "gui/platform/ApplicationId.h"
#include "gui/platform/DesktopKeyBinding.h"
#include "gui/platform/DesktopKeyBindingRow.h"
#include "gui/platform/HotKeyFallbackRow.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLoggingCategory>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace runel::gui {

namespace {

Q_LOGGING_CATEGORY(lcGlobalShortcuts, "runel.shortcuts")

} // namespace

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
    connect(&m_service.backend(), &KeyboardShortcuts::HotKeyBackend::conflictsChanged, this,
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
    describeNames();
}

void GlobalShortcuts::describeNames()
{
    QHash<QString, QString> descriptions;
    descriptions.insert(toggleSearchWindow.rawValue, titleFor(toggleSearchWindow.rawValue));
    descriptions.insert(toggleSearchMode.rawValue, titleFor(toggleSearchMode.rawValue));
    for (const AppShortcut &shortcut : m_configManager.shortcuts()) {
        const QString name = nameFor(shortcut.id).rawValue;
        descriptions.insert(name, titleFor(name));
    }
    m_service.backend().setDescriptions(descriptions);
}

void GlobalShortcuts::reportTakenKeys()
{
    QStringList names { toggleSearchWindow.rawValue, toggleSearchMode.rawValue };
    for (const AppShortcut &shortcut : m_configManager.shortcuts())
        names.append(nameFor(shortcut.id).rawValue);
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
                   .arg(combination, titleFor(name));
    }
}

QString GlobalShortcuts::titleFor(const QString &name) const
{
    if (name == toggleSearchWindow.rawValue)
        return tr("Show or hide the HUD");
    if (name == toggleSearchMode.rawValue)
        return tr("Open the HUD in search mode");
    for (const AppShortcut &shortcut : m_configManager.shortcuts()) {
        if (nameFor(shortcut.id).rawValue == name) {
            return shortcut.keySequence.isEmpty()
                ? tr("Open the HUD")
                : tr("Run \u201c%1\u201d").arg(shortcut.keySequence);
        }
    }
    return name;
}

QWidget *GlobalShortcuts::makeRecorder(const QString &name, QWidget *parent)
{
    // A user shortcut's combination is recorded even without global keys: its desktop binding
    // (makeDesktopBinding) binds it.
    if (m_service.backend().kind() == KeyboardShortcuts::HotKeyBackend::Kind::none
        && !userShortcut(name)) {
        // No global keys here: the desktop's own shortcut settings run the commands instead.
        if (name == toggleSearchWindow.rawValue) {
            return new DesktopKeyBindingRow(DesktopKeyBinding(DesktopKeyBinding::runelExecutable(),
                                                qEnvironmentVariable("XDG_CURRENT_DESKTOP")),
                parent);
        }
        auto *label = new QLabel(tr("Bind \u201crunel toggle-search\u201d to a key in your "
                                    "desktop's keyboard settings."),
            parent);
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return label;
    }
    auto *recorder = new KeyboardShortcuts::Recorder(m_service, { name, {} }, parent);
    std::vector<KeyboardShortcuts::Recorder::ReservedShortcut> reserved;
    for (const KeyMonitor::Key &key : KeyMonitor::keys()) {
        if (const std::optional<KeyboardShortcuts::Shortcut> shortcut
            = KeyboardShortcuts::Shortcut::fromQt(
                key.combination.key(), key.combination.keyboardModifiers()))
            reserved.push_back({ *shortcut, QString::fromUtf16(key.title) });
    }
    recorder->setReservedShortcuts(std::move(reserved));
    recorder->setNameTitles([this](const QString &rawValue) { return titleFor(rawValue); });
    if (m_service.backend().kind() != KeyboardShortcuts::HotKeyBackend::Kind::portal
        || name != toggleSearchWindow.rawValue)
        return recorder;
    // The desktop may not take the keys at all: then the HUD's key offers the desktop binding.
    auto *column = new QWidget(parent);
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    recorder->setParent(column);
    layout->addWidget(recorder);
    layout->addWidget(new HotKeyFallbackRow(m_service.backend(), isDesktopFileInstalled(),
        DesktopKeyBinding(
            DesktopKeyBinding::runelExecutable(), qEnvironmentVariable("XDG_CURRENT_DESKTOP")),
        column));
    column->setFocusProxy(recorder);
    return column;
}

const AppShortcut *GlobalShortcuts::userShortcut(const QString &name) const
{
    for (const AppShortcut &shortcut : m_configManager.shortcuts()) {
        if (nameFor(shortcut.id).rawValue == name)
            return &shortcut;
    }
    return nullptr;
}

DesktopKeyBinding GlobalShortcuts::desktopBindingFor(const AppShortcut &shortcut) const
{
    return DesktopKeyBinding::forShortcut(DesktopKeyBinding::runelExecutable(),
        qEnvironmentVariable("XDG_CURRENT_DESKTOP"), shortcut.id, shortcut.keySequence,
        m_service.getShortcut(nameFor(shortcut.id)));
}

QWidget *GlobalShortcuts::makeDesktopBinding(const QString &name, QWidget *parent)
{
    const AppShortcut *shortcut = userShortcut(name);
    const auto kind = m_service.backend().kind();
    if (!shortcut || kind == KeyboardShortcuts::HotKeyBackend::Kind::x11)
        return nullptr;
    const QUuid id = shortcut->id;
    const auto follow = [this, id, name](QWidget *row, auto setBinding) {
        // Settles after the last keystroke or recording: every change of the binding reads the
        // desktop's settings again, through its tools.
        auto *settle = new QTimer(row);
        settle->setSingleShot(true);
        settle->setInterval(400);
        connect(settle, &QTimer::timeout, row, [this, id, setBinding] {
            for (const AppShortcut &current : m_configManager.shortcuts()) {
                if (current.id == id)
                    setBinding(desktopBindingFor(current));
            }
        });
        connect(&m_configManager, &ConfigManager::shortcutsChanged, settle,
            qOverload<>(&QTimer::start));
        connect(&m_service, &KeyboardShortcuts::Service::shortcutByNameDidChange, settle,
            [settle, name](const QString &changed) {
                if (changed == name)
                    settle->start();
            });
    };
    if (kind == KeyboardShortcuts::HotKeyBackend::Kind::none) {
        auto *row = new DesktopKeyBindingRow(desktopBindingFor(*shortcut), parent);
        follow(row, [row](DesktopKeyBinding binding) { row->setBinding(std::move(binding)); });
        return row;
    }
    auto *row = new HotKeyFallbackRow(
        m_service.backend(), isDesktopFileInstalled(), desktopBindingFor(*shortcut), parent);
    follow(row, [row](DesktopKeyBinding binding) { row->setBinding(std::move(binding)); });
    return row;
}

void GlobalShortcuts::resetShortcut(const QString &name)
{
    // Where the desktop's settings may hold the shortcut's binding, it goes with the shortcut:
    // it would go on playing keys for a shortcut the user removed.
    if (const AppShortcut *shortcut = userShortcut(name);
        shortcut && m_service.backend().kind() != KeyboardShortcuts::HotKeyBackend::Kind::x11) {
        DesktopKeyBinding binding = desktopBindingFor(*shortcut);
        if (binding.canWrite() && binding.hasCombination()) {
            if (const DesktopKeyBinding::Result removed = binding.remove(); !removed.ok) {
                qCWarning(lcGlobalShortcuts).noquote()
                    << tr("The removed shortcut's key stays in the desktop's settings: %1 "
                          "Remove it there (it runs \u201c%2\u201d).")
                           .arg(removed.error, binding.shortCommand());
            }
        }
    }
    m_service.reset({ { name, {} } });
}

void GlobalShortcuts::runShortcut(const AppShortcut &shortcut)
{
    playKeys(shortcut.keySequence);
}

void GlobalShortcuts::playKeys(const QString &keys)
{
    if (!m_delegate.isSearchWindowOpen()) {
        holdKeysForHud();
        m_delegate.showSearchWindow();
    }
    if (keys.isEmpty())
        return;
    if (SearchViewModel *viewModel = m_delegate.viewModel())
        viewModel->runSequence(keys);
}

void GlobalShortcuts::holdKeysForHud()
{
    // Only from another program's window: while one of Runel's own windows has the keyboard,
    // taking it and handing it back races the window manager's activation of that window.
    // (A window just hidden may still count as focused for a moment: only a shown one does.)
    if (const QWindow *focused = QGuiApplication::focusWindow(); focused && focused->isVisible())
        return;
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
    // Qt may take the HUD for focused a moment before the X server does: the back end waits
    // for the server's focus too.
    if (hud)
        m_service.backend().releaseKeysOnceFocused(hud->winId());
    else
        m_service.backend().releaseKeys();
}

} // namespace runel::gui

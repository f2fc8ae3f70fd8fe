#include "ShortcutControls.h"

#include "HotKeyNames.h"
#include "KeyboardShortcuts/Service.h"
#include "core/settings/ConfigManager.h"
#include "gui/platform/ApplicationId.h"
#include "gui/platform/DesktopKeyBindingRow.h"
#include "gui/platform/HotKeyFallbackRow.h"

#include <QLabel>
#include <QLoggingCategory>
#include <QTimer>
#include <QVBoxLayout>

namespace runel::gui {

namespace {

Q_LOGGING_CATEGORY(lcShortcutControls, "runel.shortcuts")

using Kind = KeyboardShortcuts::HotKeyBackend::Kind;

} // namespace

ShortcutControls::ShortcutControls(KeyboardShortcuts::Service &service,
    ConfigManager &configManager,
    std::vector<KeyboardShortcuts::Recorder::ReservedShortcut> reserved, QObject *parent)
    : QObject(parent)
    , m_service(service)
    , m_configManager(configManager)
    , m_reserved(std::move(reserved))
{ }

DesktopKeyBinding ShortcutControls::toggleBinding() const
{
    return DesktopKeyBinding(
        DesktopKeyBinding::runelExecutable(), qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
}

DesktopKeyBinding ShortcutControls::desktopBindingFor(const AppShortcut &shortcut) const
{
    return DesktopKeyBinding::forShortcut(DesktopKeyBinding::runelExecutable(),
        qEnvironmentVariable("XDG_CURRENT_DESKTOP"), shortcut.id, shortcut.keySequence,
        m_service.getShortcut(HotKeyNames::nameFor(shortcut.id)));
}

QWidget *ShortcutControls::makeRecorder(const QString &name, QWidget *parent)
{
    const Kind kind = m_service.backend().kind();
    // A user shortcut's combination is recorded even without global keys: its desktop binding
    // (makeDesktopBinding) binds it.
    if (kind == Kind::none && !HotKeyNames::userShortcut(name, m_configManager.shortcuts())) {
        // No global keys here: the desktop's own shortcut settings run the commands instead.
        if (name == HotKeyNames::toggleSearchWindow.rawValue)
            return new DesktopKeyBindingRow(toggleBinding(), parent);
        auto *label = new QLabel(tr("Bind \u201crunel toggle-search\u201d to a key in your "
                                    "desktop's keyboard settings."),
            parent);
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return label;
    }
    auto *recorder = new KeyboardShortcuts::Recorder(m_service, { name, {} }, parent);
    recorder->setReservedShortcuts(m_reserved);
    recorder->setNameTitles([this](const QString &rawValue) {
        return HotKeyNames::titleFor(rawValue, m_configManager.shortcuts());
    });
    if (kind != Kind::portal || name != HotKeyNames::toggleSearchWindow.rawValue)
        return recorder;
    // The desktop may not take the keys at all: then the HUD's key offers the desktop binding.
    auto *column = new QWidget(parent);
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    recorder->setParent(column);
    layout->addWidget(recorder);
    layout->addWidget(new HotKeyFallbackRow(
        m_service.backend(), isDesktopFileInstalled(), toggleBinding(), column));
    column->setFocusProxy(recorder);
    return column;
}

QWidget *ShortcutControls::makeDesktopBinding(const QString &name, QWidget *parent)
{
    const AppShortcut *shortcut = HotKeyNames::userShortcut(name, m_configManager.shortcuts());
    const Kind kind = m_service.backend().kind();
    if (!shortcut || kind == Kind::x11)
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
    if (kind == Kind::none) {
        auto *row = new DesktopKeyBindingRow(desktopBindingFor(*shortcut), parent);
        follow(row, [row](DesktopKeyBinding binding) { row->setBinding(std::move(binding)); });
        return row;
    }
    auto *row = new HotKeyFallbackRow(
        m_service.backend(), isDesktopFileInstalled(), desktopBindingFor(*shortcut), parent);
    follow(row, [row](DesktopKeyBinding binding) { row->setBinding(std::move(binding)); });
    return row;
}

void ShortcutControls::resetShortcut(const QString &name)
{
    // Where the desktop's settings may hold the shortcut's binding, it goes with the shortcut:
    // it would go on playing keys for a shortcut the user removed.
    if (const AppShortcut *shortcut = HotKeyNames::userShortcut(name, m_configManager.shortcuts());
        shortcut && m_service.backend().kind() != Kind::x11) {
        const DesktopKeyBinding binding = desktopBindingFor(*shortcut);
        if (binding.canWrite() && binding.hasCombination()) {
            binding.remove(this, [command = binding.shortCommand()](const Expected<void> &removed) {
                if (removed)
                    return;
                qCWarning(lcShortcutControls).noquote()
                    << tr("The removed shortcut's key stays in the desktop's settings: %1 "
                          "Remove it there (it runs \u201c%2\u201d).")
                           .arg(removed.error(), command);
            });
        }
    }
    m_service.reset({ { name, {} } });
}

} // namespace runel::gui

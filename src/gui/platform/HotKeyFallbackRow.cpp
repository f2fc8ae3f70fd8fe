#include "HotKeyFallbackRow.h"

#include "ApplicationId.h"
#include "DesktopKeyBindingRow.h"
#include "KeyboardShortcuts/HotKeyBackend.h"

#include <QLabel>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using BindState = runel::KeyboardShortcuts::DesktopTriggers::BindState;

namespace runel::gui {

HotKeyFallbackRow::HotKeyFallbackRow(const KeyboardShortcuts::HotKeyBackend &backend,
    bool desktopFileInstalled, DesktopKeyBinding binding, QWidget *parent)
    : QWidget(parent)
    , m_backend(backend)
    , m_desktopFileInstalled(desktopFileInstalled)
    , m_message(new QLabel(this))
    , m_binding(new DesktopKeyBindingRow(std::move(binding), this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_message);
    layout->addWidget(m_binding);
    connect(&backend, &KeyboardShortcuts::HotKeyBackend::stateChanged, this,
        &HotKeyFallbackRow::update);
    update();
}

QString HotKeyFallbackRow::message() const
{
    return m_message->text();
}

void HotKeyFallbackRow::setBinding(DesktopKeyBinding binding)
{
    m_binding->setBinding(std::move(binding));
    update();
}

void HotKeyFallbackRow::update()
{
    // A back end that holds its combinations itself fails per combination, never as a whole.
    const KeyboardShortcuts::DesktopTriggers *triggers = m_backend.desktopTriggers();
    const BindState state = triggers ? triggers->bindState() : BindState::bound;
    const QString command = m_binding->binding().shortCommand();
    QString text;
    if (state == BindState::bound) {
        // nothing to offer
    } else if (!m_desktopFileInstalled) {
        text = u"Runel's desktop file (%1.desktop) is not installed, so this desktop may not "
               "give it hot keys. Install Runel (its package, or “cmake --install”), or bind "
               "“%2” in the desktop's own settings:"_s.arg(applicationId(), command);
    } else if (state == BindState::refusedByUser) {
        text = u"The desktop refused Runel's hot keys. Allow them in its shortcut settings, or "
               "bind “%1” there instead:"_s.arg(command);
    } else if (state == BindState::failed) {
        text = u"The desktop did not take Runel's hot keys (Runel's log on standard error says "
               "why). Bind “%1” in the desktop's own settings instead:"_s.arg(command);
    }
    m_message->setText(text);
    setVisible(!text.isEmpty());
}

} // namespace runel::gui

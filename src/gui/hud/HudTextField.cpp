#include "HudTextField.h"

#include "core/execution/ModifierText.h"
#include "gui/style/HudStyle.h"

#include <QGuiApplication>
#include <QKeyEvent>

namespace runel::gui {

HudTextField::HudTextField(QWidget *parent)
    : QLineEdit(parent)
{
    setFrame(false);
    setFont(HudStyle::systemFont(20));
    setAttribute(Qt::WA_MacShowFocusRect, false);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    setPalette(palette);
    setFixedHeight(40);
    connect(this, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (const auto callback = m_callbacks.onTextChange)
            callback(text);
    });
}

void HudTextField::setUse(const Use &use)
{
    if (use == m_use)
        return;
    m_use = use;
    setPlaceholderText(m_use.placeholder);
    setEchoMode(m_use.masked ? QLineEdit::Password : QLineEdit::Normal);
    if (isVisible())
        takeFocus();
}

void HudTextField::showText(const QString &shown)
{
    if (text() != shown) {
        setText(shown);
        end(false);
    }
}

void HudTextField::takeFocus()
{
    setFocus(Qt::OtherFocusReason);
    if (m_use.selectsAllOnFocus)
        selectAll();
    else
        end(false);
}

void HudTextField::showEvent(QShowEvent *event)
{
    QLineEdit::showEvent(event);
    takeFocus();
}

bool HudTextField::event(QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool backtab = key->key() == Qt::Key_Backtab
            || (key->key() == Qt::Key_Tab && key->modifiers().testFlag(Qt::ShiftModifier));
        // A copy: a callback may give the field new callbacks.
        const std::function<bool()> callback = backtab ? m_callbacks.onShiftTab : m_callbacks.onTab;
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) && callback && callback())
            return true;
    }
    return QLineEdit::event(event);
}

void HudTextField::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        // Give up the focus first, so that what the cancel shows next can take it.
        clearFocus();
        if (const auto callback = m_callbacks.onCancel)
            callback();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (const auto callback = m_callbacks.onConfirm)
            callback(text(), modifierText(event->modifiers()));
        return;
    case Qt::Key_Up:
        if (const auto callback = m_callbacks.onArrowUp) {
            callback();
            return;
        }
        break;
    case Qt::Key_Down:
        if (const auto callback = m_callbacks.onArrowDown) {
            callback();
            return;
        }
        break;
    default:
        break;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace runel::gui

#include "KeyEventHandler.h"

#include "KeyboardLayoutFallback.h"
#include "core/execution/ModifierText.h"

#include <QKeyEvent>

namespace runel::gui {

namespace {

template<typename Callback, typename... Args> void call(const Callback &callback, Args &&...args)
{
    // A copy: the callback may replace the callbacks (the view rebinds on every change).
    const Callback copy = callback;
    if (copy)
        copy(std::forward<Args>(args)...);
}

} // namespace

KeyEventHandler::KeyEventHandler(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

bool KeyEventHandler::isAcceptedCharacter(QChar character)
{
    const char16_t code = character.unicode();
    if (code >= 0x20 && code < 0x7f)
        return true; // letters, digits, punctuation and the space
    return code == u'§' || code == u'±';
}

QString KeyEventHandler::typedKey(const QString &text, quint32 nativeScanCode, bool shift)
{
    if (text.isEmpty())
        return {};
    const QChar first = text.front();
    if (isAcceptedCharacter(first))
        return QString(first);
    // Latin letters outside the key set (é, ß) are the user's own letters: they type nothing
    // rather than some other character of the same key.
    const char32_t scalar = text.toUcs4().value(0);
    if (!QChar::isLetter(scalar) || QChar::script(scalar) == QChar::Script_Latin)
        return {};
    const QString latin = KeyboardLayoutFallback::latinCharacter(nativeScanCode, shift);
    return latin.size() == 1 && isAcceptedCharacter(latin.front()) ? latin : QString();
}

bool KeyEventHandler::event(QEvent *event)
{
    // Tab and Shift-Tab are keys here, not focus moves.
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
            && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
            keyPressEvent(key);
            return true;
        }
    }
    return QWidget::event(event);
}

void KeyEventHandler::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        call(m_callbacks.onEnter, modifierText(modifiers));
        return;
    }
    if (modifiers & Qt::ControlModifier) {
        // Qt names the key by its Latin meaning where it can; the physical key decides
        // when the layout has none (Control-С on a Russian layout is Control-C).
        if (key == Qt::Key_C
            || KeyboardLayoutFallback::latinCharacter(event->nativeScanCode(), false)
                == QStringLiteral("c")) {
            call(m_callbacks.onCancel);
            return;
        }
    }
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        event->ignore();
        return;
    }
    switch (key) {
    case Qt::Key_Backspace:
        call(m_callbacks.onBackspace);
        return;
    case Qt::Key_Escape:
        call(m_callbacks.onEscape);
        return;
    case Qt::Key_Up:
        call(m_callbacks.onArrowUp);
        return;
    case Qt::Key_Down:
        call(m_callbacks.onArrowDown);
        return;
    case Qt::Key_Backtab:
        call(m_callbacks.onShiftTab);
        return;
    case Qt::Key_Tab:
        call(modifiers & Qt::ShiftModifier ? m_callbacks.onShiftTab : m_callbacks.onTab);
        return;
    default:
        break;
    }
    const QString typed
        = typedKey(event->text(), event->nativeScanCode(), modifiers.testFlag(Qt::ShiftModifier));
    if (typed.isEmpty()) {
        event->ignore();
        return;
    }
    call(m_callbacks.onCharacter, typed);
}

void KeyEventHandler::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    setFocus(Qt::OtherFocusReason);
}

} // namespace runel::gui

#pragma once

#include <QLineEdit>
#include <functional>

namespace runel::gui {

// The HUD's one-line text field, used for search, the list filter and the argument: a
// borderless field that turns Return, Escape, the arrows and Tab into callbacks, installed once;
// a missing callback (or a Tab callback that returns false) leaves its key to the field. What
// the field is used for sets its placeholder, masking and focus behaviour. Takes the keyboard
// focus whenever it is shown, with its whole text selected or the caret at the end.
class HudTextField : public QLineEdit {
    Q_OBJECT

public:
    struct Callbacks {
        std::function<void(const QString &text, const QString &modifiers)> onConfirm;
        std::function<void()> onCancel;
        std::function<void(const QString &)> onTextChange; // as the user edits
        std::function<void()> onArrowUp;
        std::function<void()> onArrowDown;
        std::function<bool()> onTab; // whether Tab was used
        std::function<bool()> onShiftTab;
    };
    struct Use {
        QString placeholder;
        bool selectsAllOnFocus = false;
        bool masked = false; // typed as a password: dots shown, nothing copied out
        bool operator==(const Use &) const = default;
    };

    explicit HudTextField(QWidget *parent = nullptr);

    void setCallbacks(Callbacks callbacks) { m_callbacks = std::move(callbacks); }
    // A field that switches to another use takes the focus again as if newly shown.
    void setUse(const Use &use);
    // Shows text when the field's text differs from it, with the caret at the end.
    void showText(const QString &text);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void takeFocus();

    Callbacks m_callbacks;
    Use m_use;
};

} // namespace runel::gui

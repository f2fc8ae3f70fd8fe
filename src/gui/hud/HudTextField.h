#pragma once

#include <QLineEdit>
#include <functional>

namespace runel::gui {

// The HUD's one-line text field, used for search, the list filter and the argument: a
// borderless field that turns Return, Escape, the arrows and Tab into callbacks. A missing
// callback leaves its key to the field. Takes the keyboard focus whenever it is shown, with
// its whole text selected or the caret at the end.
class HudTextField : public QLineEdit {
    Q_OBJECT

public:
    struct Use {
        QString placeholder;
        QString initialValue; // the text the field must show
        bool selectsAllOnFocus = false;
        bool masked = false; // typed as a password: dots shown, nothing copied out
        std::function<void(const QString &text, const QString &modifiers)> onConfirm;
        std::function<void()> onCancel;
        std::function<void(const QString &)> onTextChange;
        std::function<void()> onArrowUp;
        std::function<void()> onArrowDown;
        std::function<void()> onTab;
        std::function<void()> onShiftTab;
    };

    explicit HudTextField(QWidget *parent = nullptr);

    // Replaces the callbacks; shows initialValue when the text differs from it, with the caret
    // at the end. A field that switches to another use (another placeholder or masking) takes
    // the focus again as if newly shown.
    void setUse(Use use);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void takeFocus();

    Use m_use;
};

} // namespace runel::gui

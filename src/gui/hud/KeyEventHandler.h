#pragma once

#include <QWidget>
#include <functional>

namespace runel::gui {

// The key catcher of sequence mode: turns raw key presses into nine named callbacks; every
// decision is the view model's. A missing callback makes its key do nothing. Takes the
// keyboard focus whenever it is shown. The key boxes are drawn by its child widgets.
class KeyEventHandler : public QWidget {
    Q_OBJECT

public:
    struct Callbacks {
        std::function<void(const QString &)> onCharacter;
        std::function<void()> onBackspace;
        std::function<void()> onEscape;
        std::function<void()> onCancel;
        std::function<void(const QString &)> onEnter; // modifier text
        std::function<void()> onArrowUp;
        std::function<void()> onArrowDown;
        std::function<void()> onTab;
        std::function<void()> onShiftTab;
    };

    explicit KeyEventHandler(QWidget *parent = nullptr);

    void setCallbacks(Callbacks callbacks) { m_callbacks = std::move(callbacks); }

    // Whether a character may be typed as a key: an ASCII letter or digit, ASCII punctuation,
    // the space, "§" or "±".
    static bool isAcceptedCharacter(QChar character);
    // The key a press types: its first character when accepted; for a letter of a non-Latin
    // script, the character of the same physical key in the first Latin layout; else empty.
    static QString typedKey(const QString &text, quint32 nativeScanCode, bool shift);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    Callbacks m_callbacks;
};

} // namespace runel::gui

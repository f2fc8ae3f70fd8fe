#pragma once

#include "DesktopKeyBinding.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace runel::gui {

// The settings window's offer to bind "runel toggle" in the desktop's own shortcut settings,
// for when no hot key back end works: what it will change, the combination, and one button
// that adds the shortcut ("Add Shortcut to GNOME") and then removes it again ("Remove"). On
// sway and Hyprland it shows the config lines to copy instead of a button. A failure is shown
// under the button in words.
class DesktopKeyBindingRow : public QWidget {
    Q_OBJECT
public:
    explicit DesktopKeyBindingRow(DesktopKeyBinding binding, QWidget *parent = nullptr);

    // Reads again whether the shortcut is in the desktop's settings (the user may have changed
    // them there) and updates the button.
    void refresh();

private:
    void buttonClicked();

    DesktopKeyBinding m_binding;
    QPushButton *m_button = nullptr;
    QLabel *m_message = nullptr;
    bool m_added = false;
};

} // namespace runel::gui

#pragma once

#include "DesktopKeyBinding.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace runel::gui {

// The settings window's offer to bind a command ("runel toggle", or a user shortcut's "runel
// show --keys KEYS") in the desktop's own shortcut settings, for when no hot key back end works:
// what it will change, the combination, and one button that adds the shortcut ("Add Shortcut
// to GNOME") and then removes it again ("Remove"). On sway and Hyprland it shows the config
// lines to copy instead of a button. A failure is shown under the button in words.
class DesktopKeyBindingRow : public QWidget {
    Q_OBJECT
public:
    explicit DesktopKeyBindingRow(DesktopKeyBinding binding, QWidget *parent = nullptr);

    const DesktopKeyBinding &binding() const { return m_binding; }
    // For a binding whose command or combination changed (the user shortcut was edited): the
    // row shows the new one and reads again whether it is in the desktop's settings.
    void setBinding(DesktopKeyBinding binding);

    // Reads again whether the shortcut is in the desktop's settings (the user may have changed
    // them there) and updates the button once the desktop's tools have answered; the button is
    // disabled until then.
    void refresh();

private:
    void build();
    void buttonClicked();

    DesktopKeyBinding m_binding;
    QVBoxLayout *m_layout = nullptr;
    // Child; made again by setBinding. The context of the desktop's answers, so that those for
    // an old binding are dropped.
    QWidget *m_content = nullptr;
    QPushButton *m_button = nullptr;
    QLabel *m_message = nullptr;
    bool m_added = false;
};

} // namespace runel::gui

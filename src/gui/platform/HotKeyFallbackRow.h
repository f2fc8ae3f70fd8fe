#pragma once

#include "DesktopKeyBinding.h"

#include <QWidget>

class QLabel;

namespace runel::gui {
class DesktopKeyBindingRow;
}

namespace runel::KeyboardShortcuts {
class HotKeyBackend;
}

namespace runel::gui {

// Under the HUD's hot key where the desktop portal holds the hot keys: while the desktop holds
// none of them, says why (Runel's desktop file is not installed, so a desktop that looks the app
// up by its id refuses it; the user refused the desktop's dialog; the desktop failed) and offers
// the desktop binding of its command ("runel toggle", or a user shortcut's) instead. Hidden while
// the keys are bound. Follows the back end's answers; the back end must outlive the row.
class HotKeyFallbackRow : public QWidget {
    Q_OBJECT
public:
    HotKeyFallbackRow(const KeyboardShortcuts::HotKeyBackend &backend, bool desktopFileInstalled,
        DesktopKeyBinding binding, QWidget *parent = nullptr);

    QString message() const;
    // As DesktopKeyBindingRow::setBinding.
    void setBinding(DesktopKeyBinding binding);

private:
    void update();

    const KeyboardShortcuts::HotKeyBackend &m_backend;
    bool m_desktopFileInstalled;
    QLabel *m_message;
    DesktopKeyBindingRow *m_binding; // child
};

} // namespace runel::gui

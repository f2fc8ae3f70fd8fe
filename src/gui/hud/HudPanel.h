#pragma once

#include <QWidget>

namespace runel::gui {

// One of the HUD's two floating panels: frameless, always on top, no taskbar entry, 420 wide,
// with rounded 24-px corners that follow every resize (translucent corners with a compositor,
// a window mask without one). Its height follows its content's size hint. The results panel
// is made with takesFocus false: it never takes the keyboard focus, so the HUD keeps it.
class HudPanel : public QWidget {
    Q_OBJECT

public:
    HudPanel(QWidget *content, bool takesFocus);

Q_SIGNALS:
    void resized();
    // The panel stopped being the active window (the user clicked elsewhere), or something
    // other than its controller closed it (a window manager's close, a compositor that took
    // its output away).
    void deactivated();

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void fitContent();

    QWidget *m_content;
    bool m_translucent;
};

} // namespace runel::gui

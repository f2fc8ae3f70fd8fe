#pragma once

#include <QWidget>

namespace runel::gui {

// One of the HUD's two floating panels: frameless, always on top, no taskbar entry, 420 wide,
// with rounded 24-px corners that follow every resize (translucent corners with a compositor,
// a window mask without one). Its height follows its content's size hint. The results panel
// is made with takesFocus false: it never takes the keyboard focus, so the HUD keeps it.
// A panel can outlive its content: the results panel is made once, and each opening of the HUD
// puts its own views into it.
class HudPanel : public QWidget {
    Q_OBJECT

public:
    explicit HudPanel(bool takesFocus);

    // Puts content in (the panel takes it as a child) in place of the previous content, which
    // is hidden and deleted later: it may be the one handling the event that closed the HUD.
    // Null leaves the panel empty.
    void setContent(QWidget *content);
    QWidget *content() const { return m_content; }
    // Takes the content's height now rather than with the posted layout request, which comes
    // after a panel shown meanwhile has been drawn once at its old height.
    void fitContent();

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
    // Takes the height the layout has for the content now.
    void fitHeight();

    QWidget *m_content = nullptr;
    bool m_translucent;
};

} // namespace runel::gui

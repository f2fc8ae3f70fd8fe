#pragma once

#include <QObject>
#include <functional>

class QKeyEvent;

namespace runel::gui {

// The keys that work while one of Runel's own windows has the focus, ahead of the window's
// own key handling: Ctrl+Shift+comma, Ctrl+R, Ctrl+comma and Ctrl+Q (other modifiers may be
// down too). Installed on the application; sees only events delivered to Runel's windows.
class KeyMonitor : public QObject {
    Q_OBJECT
public:
    enum class Action { none, openScriptsFolder, reloadScripts, openSettings, quit };

    // handler performs an action; it holds its owner weakly through the monitor's parent.
    explicit KeyMonitor(std::function<void(Action)> handler, QObject *parent = nullptr);

    // What a key press asks for; none for every key that goes on to the window.
    static Action actionFor(const QKeyEvent &event);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<void(Action)> m_handler;
};

} // namespace runel::gui

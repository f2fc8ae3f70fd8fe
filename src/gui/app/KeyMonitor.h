#pragma once

#include <QKeyCombination>
#include <QObject>
#include <QString>
#include <functional>
#include <span>

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

    // One of the keys above: the combination with the fewest modifiers that asks for action.
    struct Key {
        QKeyCombination combination;
        Action action;
        const char16_t *title; // what it does, for people: "Quit"
    };
    // The keys, for the hot key recorder to keep free.
    static std::span<const Key> keys();

    // What a key press asks for; none for every key that goes on to the window.
    static Action actionFor(const QKeyEvent &event);

    // While a hot key recorder records, every key is the recorder's: Ctrl+Q must be refused as
    // taken, not quit the app.
    void setPaused(bool paused) { m_paused = paused; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<void(Action)> m_handler;
    bool m_paused = false;
};

} // namespace runel::gui

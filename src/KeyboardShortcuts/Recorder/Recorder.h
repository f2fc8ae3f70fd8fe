#pragma once

#include "KeyboardShortcuts/Name.h"

#include <QWidget>
#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QAction;
class QKeyEvent;

namespace runel::KeyboardShortcuts {

class Service;

// The control with which people bind a combination to a name: it shows the combination in
// people's words ("Record Shortcut" when there is none), records a new one on a click, Space or
// Enter, and clears it with the button inside it. While it records the service is suspended, so
// no hot key fires. What it refuses or notes it says below itself, never in a dialog; so does a
// stored combination that another program holds (it then does nothing), until it is free again
// or changed. On a desktop that records combinations itself (portal), a click opens the
// desktop's dialog.
class Recorder : public QWidget {
    Q_OBJECT
public:
    // service must outlive the control.
    Recorder(Service &service, Name name, QWidget *parent = nullptr);
    ~Recorder() override;

    // A combination the app itself answers to in its own windows ("Quit"): never recorded.
    struct ReservedShortcut {
        Shortcut shortcut;
        QString title;
    };
    void setReservedShortcuts(std::vector<ReservedShortcut> shortcuts);
    // How another name is called in messages ("Show or hide the HUD"); the raw value without it.
    void setNameTitles(std::function<QString(const QString &rawValue)> titles);

    bool isRecording() const { return m_recording; }
    // What the control shows and what it last said, for people and tests.
    QString text() const;
    QString message() const;

    void startRecording();
    void stopRecording();

protected:
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool recordsItself() const;
    void handleKeyPress(const QKeyEvent &event);
    void handleKeyRelease(const QKeyEvent &event);
    void accept(const Shortcut &shortcut);
    void refuse(const QString &message, bool beep);
    // A note on the last action; it stays until the next one.
    void showMessage(const QString &message);
    void updateMessage();
    void clear();
    void refresh();

    Service &m_service;
    Name m_name;
    QLineEdit *m_field;
    QAction *m_clearAction;
    QAction *m_takenAction; // the warning sign while the stored combination is taken
    QLabel *m_message;
    std::vector<ReservedShortcut> m_reserved;
    std::function<QString(const QString &)> m_titles;
    QString m_notice;
    bool m_recording = false;
    // The modifiers down so far while recording, as a Carbon mask.
    int m_modifiers = 0;
};

} // namespace runel::KeyboardShortcuts

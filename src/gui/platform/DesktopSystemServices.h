#pragma once

#include "core/SystemServices.h"

#include <QObject>

struct ca_context;

namespace runel::gui {

// The desktop's services for the app: sounds of the freedesktop sound theme through
// libcanberra, the clipboard, the beep, the default application, and the file manager over
// D-Bus. Main thread; every call returns at once and none can fail a run.
class DesktopSystemServices : public QObject, public SystemServices {
    Q_OBJECT
public:
    explicit DesktopSystemServices(QObject *parent = nullptr);
    ~DesktopSystemServices() override;

    QString clipboardText() override;
    void playSound(const QString &name) override;
    void beep() override;
    bool open(const QString &path) override;
    // Asks org.freedesktop.FileManager1 to show the item; when no file manager answers,
    // opens the folder that holds it.
    void reveal(const QString &path) override;

private:
    // Made on the first sound: connecting to the sound server costs time the start-up
    // should not spend. Null when no sound system is available.
    ca_context *soundContext();

    ca_context *m_soundContext = nullptr;
    bool m_soundUnavailable = false;
};

} // namespace runel::gui

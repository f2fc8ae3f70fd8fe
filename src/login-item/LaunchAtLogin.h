#pragma once

#include "core/Expected.h"

#include <QObject>
#include <QString>

namespace runel {

// Whether the desktop starts Runel when the user logs in: an autostart desktop entry
// ("runel.desktop" in the autostart folder). The state lives on disk only, so every read looks
// at the file: a change made elsewhere (a desktop's startup settings, the user deleting the
// file) shows up at the next read. Main thread.
class LaunchAtLogin : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isEnabled READ isEnabled WRITE setEnabled NOTIFY isEnabledChanged)

public:
    // autostartDir is where the entry goes ($XDG_CONFIG_HOME/autostart); executable is the
    // program the entry starts, absolute.
    LaunchAtLogin(QString autostartDir, QString executable, QObject *parent = nullptr);

    QString entryPath() const;
    const QString &executable() const { return m_executable; }

    // The entry exists and does not say Hidden=true (how desktops turn an entry off).
    bool isEnabled() const;
    // true (re)writes the entry, so it names the running executable; false removes it.
    // A failure leaves the entry as it was, is logged, and says why in words for the user.
    // isEnabledChanged follows every call, whether or not the state changed.
    Expected<void> setEnabled(bool enabled);

    // The entry's text for executable.
    static QString desktopEntry(const QString &executable);
    // One argument of an Exec key, quoted when it needs it and escaped for a string value.
    static QString execArgument(const QString &argument);
    // The "runel" command that goes with the app at appExecutable: beside it (a build tree),
    // else <prefix>/bin/runel for an app installed in <prefix>/libexec/runel.
    static QString commandBesideApp(const QString &appExecutable);

Q_SIGNALS:
    void isEnabledChanged();

private:
    Expected<void> write() const;
    Expected<void> remove() const;

    QString m_autostartDir;
    QString m_executable;
};

} // namespace runel

#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace runel::KeyboardShortcuts {

// What a back end whose desktop decides the triggers itself (the portal) offers besides holding
// combinations: the desktop records them, names them and may refuse them. Reached through
// HotKeyBackend::desktopTriggers(); its changes are announced by the back end's stateChanged.
class DesktopTriggers {
public:
    // Whether the desktop took the names it was asked to hold: not asked yet or waiting for its
    // answer, bound, refused by the user in the desktop's dialog, or failed (the desktop refused
    // the app or its session, or the call went wrong; the log says which).
    enum class BindState { pending, bound, refusedByUser, failed };

    virtual ~DesktopTriggers() = default;

    // What the desktop reports as a name's trigger ("Super+Shift+L"); empty when it reports
    // none.
    virtual QString triggerDescription(const QString &name) const = 0;
    // Names with handlers but no stored combination: offered too, without a preferred trigger,
    // so the user can give them one in the desktop's dialog.
    virtual void setUnboundNames(const QStringList &names) = 0;
    // Readable texts for names, shown by the desktop; the raw name otherwise.
    virtual void setDescriptions(const QHash<QString, QString> &descriptions) = 0;
    virtual BindState bindState() const = 0;
    // Opens the desktop's own dialog for changing the triggers, where it has one.
    virtual void configureTriggers() = 0;
};

} // namespace runel::KeyboardShortcuts

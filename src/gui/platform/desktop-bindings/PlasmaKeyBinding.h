#pragma once

#include "DesktopBinding.h"

namespace runel::gui {

// KDE Plasma 6: a launcher in the user's applications folder with a global shortcut to it in
// kglobalshortcutsrc (kwriteconfig6). Earlier Plasmas are only explained.
class PlasmaKeyBinding : public DesktopBinding {
public:
    // version: KDE_SESSION_VERSION (0 when unknown).
    PlasmaKeyBinding(KeyBindingCommand command, int version)
        : DesktopBinding(std::move(command))
        , m_version(version)
    { }

    QString name() const override;
    bool canWrite() const override { return m_version >= 6; }
    QString explanation() const override;
    bool isAdded() const override;
    Expected<void> add() const override;
    Expected<void> remove() const override;

private:
    QString launcherName() const;
    QString launcherPath() const;
    QStringList shortcutArguments() const;

    int m_version;
};

} // namespace runel::gui

#pragma once

#include "DesktopBinding.h"

namespace runel::gui {

// GNOME keeps a list of paths, each naming a relocatable schema with name, command and binding;
// ours is the path named after the entry, written through gsettings.
class GnomeKeyBinding : public DesktopBinding {
public:
    using DesktopBinding::DesktopBinding;

    QString name() const override;
    bool canWrite() const override { return true; }
    QString explanation() const override;
    bool isAdded() const override;
    Expected<void> add() const override;
    Expected<void> remove() const override;

private:
    QString path() const;
    QString keyPath() const;
    Expected<QStringList> list() const;
    Expected<void> setList(const QStringList &paths) const;
};

} // namespace runel::gui

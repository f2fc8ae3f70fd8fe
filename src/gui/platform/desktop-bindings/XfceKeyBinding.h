#pragma once

#include "DesktopBinding.h"

namespace runel::gui {

// Xfce: one property per combination in xfce4-keyboard-shortcuts, whose value is the command,
// written through xfconf-query. A combination that runs another command is the user's.
class XfceKeyBinding : public DesktopBinding {
public:
    using DesktopBinding::DesktopBinding;

    QString name() const override;
    bool canWrite() const override { return true; }
    QString explanation() const override;
    bool isAdded() const override;
    Expected<void> add() const override;
    Expected<void> remove() const override;

private:
    QString property() const;
    // What the combination runs now; empty when it is not bound.
    Expected<QString> value() const;
};

} // namespace runel::gui

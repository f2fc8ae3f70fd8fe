#pragma once

#include "DesktopBinding.h"

namespace runel::gui {

// Compositors whose bindings live in a config file the user keeps: Runel writes nothing there
// and gives the lines to add instead. For "runel toggle" they are the shipped examples (the
// binding and the window rules that float the HUD); for a user shortcut, its one binding.
class ConfigFileKeyBinding : public DesktopBinding {
public:
    using DesktopBinding::DesktopBinding;

    QStringList configLines() const override;

protected:
    // The shipped example for "runel toggle" (a Qt resource).
    virtual QString exampleResource() const = 0;
    // A user shortcut's binding line at the combination.
    virtual QString bindingLine() const = 0;
    // "Add this line <whereAndReload> It binds ...", or for the toggle the lines that float
    // the HUD too.
    QString explanationFor(const QString &whereAndReload) const;
};

class SwayKeyBinding : public ConfigFileKeyBinding {
public:
    using ConfigFileKeyBinding::ConfigFileKeyBinding;

    QString name() const override;
    QString explanation() const override;

protected:
    QString exampleResource() const override;
    QString bindingLine() const override;
};

class HyprlandKeyBinding : public ConfigFileKeyBinding {
public:
    using ConfigFileKeyBinding::ConfigFileKeyBinding;

    QString name() const override;
    QString explanation() const override;

protected:
    QString exampleResource() const override;
    QString bindingLine() const override;
};

} // namespace runel::gui

#pragma once

#include "HotKeyBackend.h"

namespace runel::KeyboardShortcuts {

// No global keys on this desktop (a Wayland compositor without the shortcuts portal): nothing is
// held and nothing fires. People bind `runel toggle` in the desktop's own settings instead.
class NoHotKeyBackend : public HotKeyBackend {
public:
    using HotKeyBackend::HotKeyBackend;

    Kind kind() const override { return Kind::none; }
    void setBindings(const std::vector<Binding> &) override { }
    bool isHeldElsewhere(const Shortcut &) override { return false; }
};

} // namespace runel::KeyboardShortcuts

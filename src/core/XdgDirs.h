#pragma once

#include <QString>

namespace runel {

// Where the user's folders are, by the XDG base directory rules, in one place for the whole
// program. Read from the environment on every call (tests point it at temporary folders); every
// path returned is absolute and clean. A variable that is unset, empty or relative is invalid by
// those rules and ignored.
struct XdgDirs {
    // $HOME; without it, the home folder of the user database (a process started with an empty
    // environment still finds the user's files). "/" only when neither names one.
    static QString home();
    // $XDG_CONFIG_HOME, else ~/.config.
    static QString configHome();
    // $XDG_DATA_HOME, else ~/.local/share.
    static QString dataHome();
    // $XDG_RUNTIME_DIR; empty when unset, as the rules give no default: the caller decides
    // whether to do without.
    static QString runtimeDir();
    // ~/.config/autostart below configHome().
    static QString autostartDir();
};

} // namespace runel

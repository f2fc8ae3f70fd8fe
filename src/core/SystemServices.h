#pragma once

#include <QString>

namespace runel {

// What the core asks of the desktop: the clipboard, sounds, the beep, opening and revealing
// files. The GUI gives the real ones; the command line and tests give their own. Every call is
// made on the main thread and returns at once; none of them can fail a run.
class SystemServices {
public:
    virtual ~SystemServices() = default;

    // The clipboard's plain text, or an empty string when it holds none.
    virtual QString clipboardText() = 0;
    // Plays a sound of the desktop's sound theme by its event id ("complete", "dialog-error",
    // ...); an id the theme lacks plays nothing.
    virtual void playSound(const QString &name) = 0;
    virtual void beep() = 0;
    // Opens a file or folder with the desktop's default application; false when none could be
    // started for it (the caller tells the user).
    virtual bool open(const QString &path) = 0;
    // Shows a file selected in the file manager.
    virtual void reveal(const QString &path) = 0;
};

// Does nothing and has an empty clipboard: for runs without a desktop.
class NullSystemServices : public SystemServices {
public:
    QString clipboardText() override { return {}; }
    void playSound(const QString &) override { }
    void beep() override { }
    bool open(const QString &) override { return false; }
    void reveal(const QString &) override { }
};

} // namespace runel

#pragma once

#include <QString>

namespace runel {

// Where the running app listens for commands: a socket in a folder only this user may enter.
// The app creates the folder; a command-line client only looks. A folder or socket that
// another user owns, or that others may write to, is refused: whoever controls it could
// impersonate the app or read what clients send.
struct InstanceFolder {
    QString path; // the folder, when usable
    QString error; // why it cannot be used, in words for the user; empty when usable
    bool missing = false; // not there (only without create): no app has made it yet

    bool isUsable() const { return error.isEmpty(); }
    QString socketPath() const { return path + QStringLiteral("/instance"); }
};

// $XDG_RUNTIME_DIR/runel, or a private folder in the temporary folder ("runel-UID") when
// XDG_RUNTIME_DIR is unset or not absolute. With create, a missing folder is made with mode
// 0700 and a folder of this user's with wider read rights is narrowed to 0700.
InstanceFolder instanceFolder(bool create);

// Empty when path does not exist or is a socket of this user's that others cannot write;
// otherwise why it must not be used.
QString socketFileProblem(const QString &path);

// An exclusive flock on a file of the instance folder, held from take() until release() or
// destruction; the kernel drops it when the process ends, however it ends. The descriptor is
// opened O_CLOEXEC: the scripts the app starts must never hold the app's locks after it quits.
// Main thread.
class InstanceLock {
public:
    enum class Take {
        held, // this object holds the lock
        busy, // another open of the file holds it (only when not waiting)
        failed, // the file cannot be opened or locked: see error()
    };
    enum class Wait { untilFree, no };

    InstanceLock() = default;
    ~InstanceLock() { release(); }
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // Creates path (mode 0600) when missing. A lock already held is released first.
    Take take(const QString &path, Wait wait);
    void release();
    bool isHeld() const { return m_fd >= 0; }
    QString error() const { return m_error; }

private:
    int m_fd = -1;
    QString m_error;
};

} // namespace runel

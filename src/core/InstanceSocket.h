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

} // namespace runel

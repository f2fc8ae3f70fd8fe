#pragma once

#include "Expected.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <string>

namespace runel {

// Writes contents to directory/fileName through a hidden temporary file beside it, flushed to
// disk, then renamed over the old file: the file is replaced whole or left exactly as it was,
// also on a full disk or past a file size limit. The temporary file is 0600, or takes the old
// file's permissions when there is one. Creates the folder (0700) when it is missing. 0, or the
// errno of the step that failed. Any thread.
int writeFileAtomically(
    const std::string &directory, const std::string &fileName, const std::string &contents);

// The same for a path, with the failure in words for the user: "cannot write PATH: reason".
Expected<void> replaceFile(const QString &path, const QByteArray &contents);

// Writes all of data to fd: a write() that takes less (a file size limit, a signal) is followed
// by one for the rest, whose error, if any, is the one that counts. False with errno set.
bool writeAll(int fd, const char *data, std::size_t size);

// Creates a folder and its missing parents with mode 0700; true when it exists afterwards.
bool makePrivateDirectory(const std::string &path);

} // namespace runel

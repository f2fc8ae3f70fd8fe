#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <mutex>
#include <string>

namespace runel {

// Appends the raw output of one run to its output file. Thread-safe: the stdout and stderr
// reader threads call write() directly; one mutex orders open, writes and close, so each chunk
// lands whole and chunks land in the order the calls took the lock. No call reports an error:
// a failed open drops the chunk and is retried on the next write; a failed write drops the rest
// of its chunk and the file is reopened on the next write. No call syncs to disk.
//
// Files are created 0600 (output can hold secrets) and opened O_APPEND, so existing content
// stays. While open, the file carries an exclusive flock: how another process (or a reload)
// tells a run still going on from one that was cut off. Owned through std::shared_ptr by its LogRun
// and by whoever writes to it; the destructor closes.
class LogFileWriter {
public:
    explicit LogFileWriter(QString path);
    ~LogFileWriter();
    LogFileWriter(const LogFileWriter &) = delete;
    LogFileWriter &operator=(const LogFileWriter &) = delete;

    const QString &path() const { return m_path; }

    // Creates the log folder (0700) and the file when missing and opens it; true when the file
    // is open afterwards. Does nothing once closed.
    bool open();
    // Appends the bytes; an empty chunk, or any chunk after close(), is ignored.
    void write(const char *data, std::size_t size);
    void write(const QByteArray &bytes) { write(bytes.constData(), std::size_t(bytes.size())); }
    // For good: later writes are dropped. Opens first so that a run without output still leaves
    // an empty output file. Blocks until a write in progress on another thread has finished.
    void close();
    bool isClosed() const;
    // A close-on-exec copy of the open file (opened first when it is not yet), for a process
    // that writes on after this one (the late-output copier); -1 when closed or not openable.
    // The copy is the caller's, and keeps the file's flock while it is open.
    int duplicate();

    // True when a writer, in this process or another, holds the file at nativePath open. Any
    // thread; never blocks.
    static bool isBeingWritten(const std::string &nativePath);

private:
    bool openLocked();

    const QString m_path;
    const QByteArray m_nativePath;
    mutable std::mutex m_mutex;
    int m_fd = -1; // guarded by m_mutex
    bool m_isClosed = false; // guarded by m_mutex
};

} // namespace runel

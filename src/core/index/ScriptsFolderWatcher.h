#pragma once

#include "FileIndex.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace runel {

// Watches a scripts folder as the scan walks it (its sub-folders down to the scan's depth limit,
// through linked folders, never into hidden ones; new sub-folders as they appear) and says
// changed once the tree has been quiet for a moment after a change, so a burst of edits gives one
// signal. Idle, it costs nothing: the kernel watches, and the timer runs only after a change.
//
// Lives on the main thread; folders are listed and watched on worker threads. When the folder is
// missing, or holds more folders than the system lets one process watch, the watcher stops
// (isWatching false) and its owner looks for changes itself: the app reloads when the HUD opens.
class ScriptsFolderWatcher : public QObject {
    Q_OBJECT

public:
    struct Configuration {
        // The scan's: deeper folders are never listed.
        int maxFolderDepth = FileIndex::Configuration().maxFolderDepth;
        // Each watch holds kernel memory, and the system's limit is shared by all of the user's
        // programs: a tree past this many folders (a home folder chosen by mistake) is not
        // watched. 0: as many as the system allows.
        int maxWatches = 10000;
        int settleMs = 300; // quiet time after the last change before changed
    };

    explicit ScriptsFolderWatcher(Configuration configuration, QObject *parent = nullptr);
    explicit ScriptsFolderWatcher(QObject *parent = nullptr)
        : ScriptsFolderWatcher(Configuration(), parent)
    { }
    ~ScriptsFolderWatcher() override;

    // Watches root instead of what was watched before. Nothing happens for the root already
    // watched, nor for one found too large to watch before (said once in the log): it is not
    // walked again at every call.
    void watch(const QString &root);
    void stop();
    // False once the watcher gave up (folder missing, too many folders) or was never started;
    // true while the tree is being walked.
    bool isWatching() const { return m_watches != nullptr; }
    // The folders watched now, absolute and sorted: for tests and diagnostics.
    QStringList watchedFolders() const;

Q_SIGNALS:
    // A file or folder of the tree was created, deleted, renamed or written; emitted settleMs
    // after the last such change.
    void changed();

private:
    struct Watches;
    struct Walk {
        QByteArray path;
        int depth;
    };
    void startWalks(std::vector<Walk> walks, bool fromRoot);
    void walked(const std::shared_ptr<Watches> &watches, bool rootWatched);
    void readEvents();
    // Lets go of the watches, keeping a change already seen.
    void release();
    // Walks m_root again on a new instance: what was watched may no longer be true.
    void restart();
    // Stops watching and says why in the log, once in the watcher's life.
    void giveUp(const QString &reason);

    const Configuration m_configuration;
    QString m_root;
    // The root found too large to watch; it is not walked again.
    QString m_tooLargeRoot;
    std::shared_ptr<Watches> m_watches; // null when not watching
    std::unique_ptr<QSocketNotifier> m_notifier; // on m_watches' descriptor
    QTimer m_settleTimer;
    bool m_saidWhy = false;
    // Walks on worker threads hold this weakly; it dies with the watcher (main thread only).
    std::shared_ptr<ScriptsFolderWatcher *> m_self;
};

} // namespace runel

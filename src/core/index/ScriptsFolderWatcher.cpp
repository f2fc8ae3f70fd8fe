#include "ScriptsFolderWatcher.h"

#include "core/Logging.h"
#include "core/SystemError.h"
#include "core/threading/MainThreadQueue.h"
#include "core/threading/WorkerThreads.h"

#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace runel {

namespace {

// What changes a folder's listing or a script's contents. Attribute changes count: a script made
// unreadable becomes an item with a read error.
constexpr uint32_t folderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO
    | IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// The scan skips hidden entries, so their changes (an editor's swap file) change nothing.
bool isHidden(const char *name)
{
    return name[0] == '.';
}

// Follows links, as the scan does.
bool isFolder(int directoryFd, const char *name)
{
    struct stat target { };
    return fstatat(directoryFd, name, &target, 0) == 0 && S_ISDIR(target.st_mode);
}

} // namespace

// One inotify instance and the folders it watches, shared by the main thread (which reads its
// events) and the walks (which add folders). Its descriptor is closed when the last of them lets
// go, so a walk never adds a watch to a descriptor number that was reused.
struct ScriptsFolderWatcher::Watches {
    enum class Added { added, known, failed, tooMany };
    struct Folder {
        QByteArray path;
        int depth;
    };

    Watches(int descriptor, int limit)
        : fd(descriptor)
        , maxWatches(limit)
    { }
    ~Watches() { close(fd); }

    Added add(const QByteArray &path, int depth)
    {
        // Held across the system call: the main thread never reads an event for a watch it
        // cannot place yet.
        std::lock_guard lock(mutex);
        if (tooMany)
            return Added::tooMany;
        const int wd = inotify_add_watch(fd, path.constData(), folderEvents);
        if (wd < 0) {
            if (errno != ENOSPC && errno != ENOMEM)
                return Added::failed; // gone, not a folder, or not ours to read: the scan says
            tooMany = true;
            abandoned = true;
            return Added::tooMany;
        }
        // The same folder through a second link, or a loop of links, has the same watch.
        if (folders.count(wd))
            return Added::known;
        if (maxWatches > 0 && folders.size() >= size_t(maxWatches)) {
            inotify_rm_watch(fd, wd);
            tooMany = true;
            abandoned = true;
            return Added::tooMany;
        }
        folders.emplace(wd, Folder { path, depth });
        return Added::added;
    }

    std::optional<Folder> folder(int wd) const
    {
        std::lock_guard lock(mutex);
        const auto found = folders.find(wd);
        return found == folders.end() ? std::nullopt : std::optional(found->second);
    }

    void forget(int wd)
    {
        std::lock_guard lock(mutex);
        folders.erase(wd);
    }

    // Adds folder and the folders below it, down to maxDepth. Lists each folder once.
    Added walk(const QByteArray &path, int depth, int maxDepth)
    {
        if (depth > maxDepth || abandoned)
            return Added::failed;
        const Added added = add(path, depth);
        if (added != Added::added || depth == maxDepth)
            return added;
        DIR *directory = opendir(path.constData());
        if (!directory)
            return added;
        std::vector<QByteArray> children;
        while (const dirent *entry = readdir(directory)) {
            if (isHidden(entry->d_name))
                continue;
            const bool folder = entry->d_type == DT_DIR
                || ((entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN)
                    && isFolder(dirfd(directory), entry->d_name));
            if (folder)
                children.push_back(path + '/' + entry->d_name);
        }
        closedir(directory);
        for (const QByteArray &child : children)
            walk(child, depth + 1, maxDepth);
        return added;
    }

    const int fd;
    const int maxWatches;
    // Set when the watcher let go of this instance or it ran out of watches: walks stop.
    std::atomic_bool abandoned = false;
    mutable std::mutex mutex;
    std::unordered_map<int, Folder> folders; // by watch descriptor; guarded by mutex
    bool tooMany = false; // guarded by mutex
};

ScriptsFolderWatcher::ScriptsFolderWatcher(Configuration configuration, QObject *parent)
    : QObject(parent)
    , m_configuration(configuration)
    , m_self(std::make_shared<ScriptsFolderWatcher *>(this))
{
    m_settleTimer.setSingleShot(true);
    m_settleTimer.setInterval(m_configuration.settleMs);
    connect(&m_settleTimer, &QTimer::timeout, this, &ScriptsFolderWatcher::changed);
}

ScriptsFolderWatcher::~ScriptsFolderWatcher()
{
    stop();
}

void ScriptsFolderWatcher::watch(const QString &root)
{
    const QString folder = QDir::cleanPath(QFileInfo(root).absoluteFilePath());
    if (folder == m_root && (m_watches || folder == m_tooLargeRoot))
        return;
    m_root = folder;
    restart();
}

void ScriptsFolderWatcher::stop()
{
    m_settleTimer.stop();
    release();
}

void ScriptsFolderWatcher::release()
{
    // The notifier goes before the descriptor can close.
    m_notifier.reset();
    if (m_watches)
        m_watches->abandoned = true;
    m_watches.reset();
}

void ScriptsFolderWatcher::restart()
{
    release();
    if (m_root.isEmpty() || m_root == m_tooLargeRoot)
        return;
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        giveUp(QStringLiteral("no watch can be made (%1)").arg(systemErrorText(errno)));
        return;
    }
    m_watches = std::make_shared<Watches>(fd, m_configuration.maxWatches);
    m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &ScriptsFolderWatcher::readEvents);
    startWalks({ { QFile::encodeName(m_root), 0 } }, true);
}

void ScriptsFolderWatcher::startWalks(std::vector<Walk> walks, bool fromRoot)
{
    std::weak_ptr<ScriptsFolderWatcher *> self = m_self;
    auto walk = [self, watches = m_watches, walks = std::move(walks), fromRoot,
                    maxDepth = m_configuration.maxFolderDepth]() mutable {
        bool rootWatched = true;
        for (const Walk &folder : walks) {
            const Watches::Added added = watches->walk(folder.path, folder.depth, maxDepth);
            if (fromRoot)
                rootWatched = added == Watches::Added::added;
        }
        MainThreadQueue::post([self, watches = std::move(watches), rootWatched]() mutable {
            if (const std::shared_ptr<ScriptsFolderWatcher *> watcher = self.lock())
                (*watcher)->walked(watches, rootWatched);
        });
    };
    // Without a thread to be had (a process limit), the walk runs here.
    auto task = std::make_shared<decltype(walk)>(std::move(walk));
    if (!WorkerThreads::start([task] { (*task)(); }))
        (*task)();
}

void ScriptsFolderWatcher::walked(const std::shared_ptr<Watches> &watches, bool rootWatched)
{
    if (watches != m_watches)
        return;
    bool tooMany;
    {
        std::lock_guard lock(watches->mutex);
        tooMany = watches->tooMany;
    }
    if (tooMany) {
        m_tooLargeRoot = m_root;
        giveUp(QStringLiteral("it holds more folders than Runel watches (%1) or the system "
                              "allows (fs.inotify.max_user_watches)")
                   .arg(m_configuration.maxWatches));
    } else if (!rootWatched) {
        // Missing or unreadable: the scan reports it; the owner tries again later.
        release();
    }
}

void ScriptsFolderWatcher::giveUp(const QString &reason)
{
    release();
    if (m_saidWhy)
        return;
    m_saidWhy = true;
    qCWarning(lcIndex).noquote() << QStringLiteral(
        "The scripts folder %1 is not watched: %2. Changes to it are picked up when the HUD "
        "opens, or with Reload Scripts.")
                                        .arg(m_root, reason);
}

void ScriptsFolderWatcher::readEvents()
{
    const std::shared_ptr<Watches> watches = m_watches;
    if (!watches)
        return;
    bool changed = false, rewalk = false;
    std::vector<Walk> newFolders;
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t size = read(watches->fd, buffer, sizeof buffer);
        if (size <= 0) {
            if (size < 0 && errno == EINTR)
                continue;
            break; // EAGAIN: all read
        }
        for (ssize_t offset = 0; offset < size;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
            offset += ssize_t(sizeof(inotify_event) + event->len);
            const char *name = event->len ? event->name : "";
            if (event->mask & IN_Q_OVERFLOW) {
                // Events were lost: what they would have added is found by walking again.
                changed = rewalk = true;
                continue;
            }
            if (event->mask & IN_IGNORED) {
                watches->forget(event->wd);
                continue;
            }
            if (isHidden(name))
                continue;
            changed = true;
            // A folder renamed or moved keeps its watches under paths that are no longer
            // true; the root gone ends the watch. Walking again sets both right.
            if (event->mask & (IN_MOVE_SELF | IN_MOVED_FROM | IN_MOVED_TO)
                && (event->mask & (IN_ISDIR | IN_MOVE_SELF))) {
                rewalk = true;
                continue;
            }
            const std::optional<Watches::Folder> parent = watches->folder(event->wd);
            if (event->mask & IN_DELETE_SELF) {
                rewalk = rewalk || (parent && parent->depth == 0);
                continue;
            }
            if (!(event->mask & (IN_CREATE | IN_MOVED_TO)))
                continue;
            if (!parent) {
                rewalk = true;
                continue;
            }
            const QByteArray path = parent->path + '/' + name;
            if (event->mask & IN_ISDIR || isFolder(AT_FDCWD, path.constData()))
                newFolders.push_back({ path, parent->depth + 1 });
        }
    }
    if (rewalk)
        restart();
    else if (!newFolders.empty())
        startWalks(std::move(newFolders), false);
    if (changed)
        m_settleTimer.start();
}

QStringList ScriptsFolderWatcher::watchedFolders() const
{
    QStringList folders;
    if (m_watches) {
        std::lock_guard lock(m_watches->mutex);
        for (const auto &[wd, folder] : m_watches->folders)
            folders << QFile::decodeName(folder.path);
    }
    folders.sort();
    return folders;
}

} // namespace runel

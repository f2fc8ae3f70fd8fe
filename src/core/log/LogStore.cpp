#include "LogStore.h"

#include "LogFileWriter.h"
#include "LogWriteQueue.h"
#include "core/AtomicFile.h"
#include "core/XdgDirs.h"
#include "core/threading/MainThreadQueue.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSet>
#include <algorithm>
#include <atomic>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

using namespace Qt::StringLiterals;

namespace runel {

namespace {

// Larger files are not records; reading one whole would only cost memory.
constexpr std::size_t maximumRecordSize = 1 << 20;

bool isRecordFileName(std::string_view name)
{
    return name.size() > 6 && name.front() == '.' && name.ends_with(".json");
}

// The names in a folder, hidden ones included; empty when it cannot be listed.
std::vector<std::string> directoryEntries(const std::string &directory)
{
    std::vector<std::string> names;
    DIR *dir = ::opendir(directory.c_str());
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

// The whole of a file smaller than maximumRecordSize bytes. Opened non-blocking and read to a
// bound, so a FIFO, a device or a huge file under a record's name cannot hang a reload.
std::optional<std::string> readRecordFile(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    std::string buffer(4096, '\0');
    std::size_t filled = 0;
    bool complete = false;
    for (;;) {
        if (filled == buffer.size()) {
            if (buffer.size() >= maximumRecordSize)
                break;
            buffer.resize(buffer.size() * 2);
        }
        const ssize_t got = ::read(fd, buffer.data() + filled, buffer.size() - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            complete = got == 0; // an error, EAGAIN of an empty FIFO or EISDIR: not a record
            break;
        }
        filled += std::size_t(got);
    }
    ::close(fd);
    if (!complete)
        return std::nullopt;
    buffer.resize(filled);
    return buffer;
}

void removeEntry(const std::string &directory, const std::string &name)
{
    const std::string path = directory + '/' + name;
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0)
        return;
    if (S_ISDIR(info.st_mode))
        QDir(QFile::decodeName(QByteArray::fromStdString(path))).removeRecursively();
    else
        ::unlink(path.c_str());
}

// Records keep whole seconds, so runs of one second are ordered by id, and ids are made to
// grow with the start time.
bool startedBefore(const LogRunPtr &a, const LogRunPtr &b)
{
    return a->date() != b->date() ? a->date() < b->date() : a->id() < b->id();
}

// A random UUID whose first 48 bits are the start time in milliseconds (the version 7 layout),
// strictly increasing within the process: sorting ids sorts runs of the same second by start.
QUuid newRunId(const QDateTime &now)
{
    static std::atomic<qint64> last { 0 };
    qint64 milliseconds = now.toMSecsSinceEpoch();
    qint64 previous = last.load();
    do {
        milliseconds = std::max(milliseconds, previous + 1);
    } while (!last.compare_exchange_weak(previous, milliseconds));
    QByteArray bytes = QUuid::createUuid().toRfc4122();
    for (int i = 0; i < 6; ++i)
        bytes[i] = char((milliseconds >> (8 * (5 - i))) & 0xff);
    bytes[6] = char((bytes[6] & 0x0f) | 0x70);
    return QUuid::fromRfc4122(bytes);
}

// A run of this process that has not finished; other runs without a status are snapshots of a
// run in another process.
bool isRunningHere(const LogRun &run)
{
    return run.isRunning() && run.writer();
}

} // namespace

struct LogStore::ReloadResult {
    QList<LogRecord> records;
    QSet<QUuid> writtenElsewhere; // records without a status whose output is still being written
};

LogStore::LogStore(QString logDirectory, QObject *parent)
    : QObject(parent)
    , m_logDirectory(QDir::cleanPath(QDir(logDirectory).absolutePath()))
    , m_writeQueue(std::make_shared<LogWriteQueue>())
{
    makePrivateDirectory(QFile::encodeName(m_logDirectory).toStdString());
}

LogStore::~LogStore() = default;

LogStore &LogStore::shared()
{
    static LogStore *store = new LogStore(defaultLogDirectory());
    // The store is never destroyed, but the outcome of a run that finished just before the
    // process ends must still reach its record: finish the queue when statics are destroyed.
    static const struct Drain {
        std::shared_ptr<LogWriteQueue> queue;
        ~Drain() { queue->waitForPendingWrites(); }
    } drain { store->m_writeQueue };
    return *store;
}

QString LogStore::defaultLogDirectory()
{
    return XdgDirs::dataHome() + u"/runel/logs"_s;
}

LogRunPtr LogStore::startRun(
    const QString &scriptName, const QString &scriptPath, const QStringList &arguments)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    LogRecord record;
    record.id = newRunId(now);
    record.scriptName = scriptName;
    record.scriptPath = scriptPath;
    record.arguments = arguments;
    record.logFileName = LogRecord::logFileNameFor(record.id);
    // Whole seconds, as the record keeps it, so the order in memory is the order on reload.
    record.date = now.addMSecs(-now.time().msec());

    const QString logPath = m_logDirectory + u'/' + record.logFileName;
    auto writer = std::make_shared<LogFileWriter>(logPath);
    writer->open(); // a failure is retried by the first write
    LogRunPtr run = LogRun::create(record, logPath, writer, m_writeQueue, m_logDirectory);

    QList<LogRunPtr> runs = m_runs;
    runs.append(run);
    std::sort(runs.begin(), runs.end(), startedBefore);
    setRuns(std::move(runs));
    run->persist();
    if (m_historyRequestPending)
        m_runsSinceHistoryRequest.append(record);
    m_runHistory.add(record);
    ++m_runHistoryGeneration;
    Q_EMIT runHistoryChanged();
    return run;
}

namespace {

// When the folder's entries last changed (a record written, renamed or removed); none when it
// cannot be read.
std::optional<timespec> folderStamp(const QString &folder)
{
    struct stat info { };
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0)
        return std::nullopt;
    return info.st_mtim;
}

} // namespace

void LogStore::refreshRunHistory()
{
    const std::optional<timespec> now = folderStamp(m_logDirectory);
    const bool same = now && m_historyFolderStamp && now->tv_sec == m_historyFolderStamp->tv_sec
        && now->tv_nsec == m_historyFolderStamp->tv_nsec;
    if (!same)
        reloadRunHistory();
}

void LogStore::reloadRunHistory()
{
    m_historyFolderStamp = folderStamp(m_logDirectory);
    const int request = ++m_historyRequest;
    m_historyRequestPending = true;
    m_runsSinceHistoryRequest.clear();
    QPointer<LogStore> store(this);
    m_writeQueue->enqueue([store, request, directory = m_logDirectory] {
        auto history = std::make_shared<RunHistory>(
            RunHistory::fromRecords(loadRecords(directory), QDateTime::currentDateTimeUtc()));
        MainThreadQueue::post([store, request, history] {
            if (!store || request != store->m_historyRequest)
                return;
            for (const LogRecord &record : std::as_const(store->m_runsSinceHistoryRequest))
                history->add(record);
            store->m_runsSinceHistoryRequest.clear();
            store->m_historyRequestPending = false;
            if (*history == store->m_runHistory)
                return;
            store->m_runHistory = std::move(*history);
            ++store->m_runHistoryGeneration;
            Q_EMIT store->runHistoryChanged();
        });
    });
}

void LogStore::persist(LogRun &run)
{
    run.persist();
}

void LogStore::reload(std::function<void()> completion)
{
    const int generation = ++m_reloadGeneration;
    setLoading(true);
    QPointer<LogStore> store(this);
    // On the write queue: after the record writes queued so far, so the reload never reads a
    // record older than one already queued.
    m_writeQueue->enqueue([store, generation, directory = m_logDirectory,
                              completion = std::move(completion)]() mutable {
        auto result = std::make_shared<ReloadResult>();
        result->records = loadRecords(directory);
        for (const LogRecord &record : std::as_const(result->records)) {
            if (!record.exitStatus
                && LogFileWriter::isBeingWritten(
                    QFile::encodeName(directory + u'/' + record.logFileName).toStdString()))
                result->writtenElsewhere.insert(record.id);
        }
        MainThreadQueue::post(
            [store, generation, result, completion = std::move(completion)]() mutable {
                if (store)
                    store->apply(generation, *result, std::move(completion));
            });
    });
}

void LogStore::apply(int generation, const ReloadResult &result, std::function<void()> completion)
{
    if (generation != m_reloadGeneration)
        return;
    QHash<QUuid, LogRunPtr> running;
    for (const LogRunPtr &run : std::as_const(m_runs)) {
        if (isRunningHere(*run) && !running.contains(run->id()))
            running.insert(run->id(), run);
    }
    QList<LogRunPtr> runs;
    runs.reserve(result.records.size() + running.size());
    QSet<QUuid> listed;
    for (const LogRecord &record : result.records) {
        // One entry per id: a record copied under another file name is not a second run.
        if (listed.contains(record.id))
            continue;
        listed.insert(record.id);
        if (const LogRunPtr run = running.value(record.id)) {
            runs.append(run);
            continue;
        }
        LogRecord read = record;
        if (!read.exitStatus && !result.writtenElsewhere.contains(record.id))
            read.exitStatus = RunExitStatus::interrupted;
        runs.append(LogRun::create(read, m_logDirectory + u'/' + record.logFileName));
    }
    for (const LogRunPtr &run : std::as_const(m_runs)) {
        if (isRunningHere(*run) && !listed.contains(run->id())) {
            listed.insert(run->id());
            runs.append(run);
        }
    }
    std::sort(runs.begin(), runs.end(), startedBefore);
    setRuns(std::move(runs));
    setLoading(false);
    if (completion)
        completion();
}

void LogStore::clear()
{
    ++m_reloadGeneration;
    setLoading(false);
    QList<LogRunPtr> kept;
    auto keep = std::make_shared<std::unordered_set<std::string>>();
    for (const LogRunPtr &run : std::as_const(m_runs)) {
        if (!run->isRunning())
            continue;
        kept.append(run);
        keep->insert(QFile::encodeName(LogRecord::logFileNameFor(run->id())).toStdString());
        keep->insert(QFile::encodeName(LogRecord::recordFileNameFor(run->id())).toStdString());
    }
    // On the write queue: after the record writes queued so far, before those queued later, so
    // a running run's record being written is never deleted halfway.
    m_writeQueue->enqueue([directory = QFile::encodeName(m_logDirectory).toStdString(), keep] {
        const std::vector<std::string> names = directoryEntries(directory);
        for (const std::string &name : names) {
            if (name.ends_with(".log") && !keep->contains(name)
                && LogFileWriter::isBeingWritten(directory + '/' + name)) {
                keep->insert(name);
                keep->insert('.' + name.substr(0, name.size() - 4) + ".json");
            }
        }
        // A kept record's temporary file ("<record>.XXXXXX") may be on its way to a rename.
        const auto isKept = [&keep](const std::string &name) {
            const std::size_t dot = name.rfind('.');
            return keep->contains(name)
                || (dot != std::string::npos && dot > 0 && keep->contains(name.substr(0, dot)));
        };
        for (const std::string &name : names) {
            if (!isKept(name))
                removeEntry(directory, name);
        }
    });
    setRuns(std::move(kept));
    // The arguments the history offers again go with the records: a cleared log recalls
    // nothing (a read in flight is dropped; the next reload reads what is left).
    ++m_historyRequest;
    m_historyRequestPending = false;
    m_runsSinceHistoryRequest.clear();
    if (!m_runHistory.isEmpty()) {
        m_runHistory = RunHistory();
        ++m_runHistoryGeneration;
        Q_EMIT runHistoryChanged();
    }
}

void LogStore::releaseFinishedRuns()
{
    ++m_reloadGeneration;
    setLoading(false);
    QList<LogRunPtr> running;
    for (const LogRunPtr &run : std::as_const(m_runs)) {
        if (run->isRunning())
            running.append(run);
    }
    setRuns(std::move(running));
}

QList<LogRecord> LogStore::loadRecords(const QString &directory)
{
    const std::string native = QFile::encodeName(directory).toStdString();
    const std::vector<std::string> names = directoryEntries(native);
    const std::unordered_set<std::string_view> present(names.begin(), names.end());
    QList<LogRecord> records;
    for (const std::string &name : names) {
        if (!isRecordFileName(name))
            continue;
        const std::optional<std::string> contents = readRecordFile(native + '/' + name);
        if (!contents)
            continue;
        std::optional<LogRecord> record = LogRecord::fromJson(*contents);
        if (!record)
            continue;
        const QByteArray logFileName = QFile::encodeName(record->logFileName);
        if (!present.contains(std::string_view(logFileName.constData(), logFileName.size())))
            continue;
        records.append(std::move(*record));
    }
    // Runs of the same second by id (start order for ids made here), whatever the listing's.
    std::sort(records.begin(), records.end(), [](const LogRecord &a, const LogRecord &b) {
        return a.date != b.date ? a.date < b.date : a.id < b.id;
    });
    return records;
}

void LogStore::waitForPendingWrites()
{
    m_writeQueue->waitForPendingWrites();
}

void LogStore::setRuns(QList<LogRunPtr> runs)
{
    if (runs == m_runs)
        return;
    m_runs = std::move(runs);
    Q_EMIT runsChanged();
}

void LogStore::setLoading(bool loading)
{
    if (m_isLoading == loading)
        return;
    m_isLoading = loading;
    Q_EMIT isLoadingChanged();
}

} // namespace runel

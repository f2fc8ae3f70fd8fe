#include "FileIndex.h"

#include "core/Logging.h"
#include "core/SystemError.h"
#include "core/text/Text.h"
#include "core/threading/WorkerThreads.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace runel {
namespace {

// Scripts are found on native (byte) paths: a Linux file name need not be UTF-8, and decoding
// it loses bytes. Names are decoded only for sorting and for the items.
struct AcceptedFile {
    std::string nativePath;
    QString relativePath;
    ScriptType type;
    bool nameIsUtf8;
};

struct DirectoryEntry {
    std::string name;
    QString decoded;
    QString sortKey; // lower-cased and composed
    bool isDirectory;
};

QString systemMessage(int error)
{
    return systemErrorText(error);
}

bool isValidUtf8(const unsigned char *data, size_t size)
{
    size_t i = 0;
    while (i < size) {
        // Thirty-two, then eight ASCII bytes at a time: the common case for scripts.
        if (i + 32 <= size) {
            uint64_t chunks[4];
            std::memcpy(chunks, data + i, 32);
            if (((chunks[0] | chunks[1] | chunks[2] | chunks[3]) & 0x8080808080808080ULL) == 0) {
                i += 32;
                continue;
            }
        }
        if (i + 8 <= size) {
            uint64_t chunk;
            std::memcpy(&chunk, data + i, 8);
            if ((chunk & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned char lead = data[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        size_t length;
        unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0)
                low = 0xA0; // no overlong forms
            else if (lead == 0xED)
                high = 0x9F; // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F; // nothing above U+10FFFF
        } else {
            return false;
        }
        if (i + length > size || data[i + 1] < low || data[i + 1] > high)
            return false;
        for (size_t k = 2; k < length; ++k) {
            if ((data[i + k] & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

bool isValidUtf8(std::string_view bytes)
{
    return isValidUtf8(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
}

QString absolutePath(const QString &root, const QString &relativePath)
{
    return root == u"/" ? u'/' + relativePath : root + u'/' + relativePath;
}

// Reads a script whole and parses its annotations; a failure becomes the item's read error.
FileItem readItem(const AcceptedFile &file, const QString &root,
    const std::function<void(const FileItem &, std::string_view)> &inspect)
{
    FileItem item;
    // The paths stay for as long as the index: held at their length, not at the capacity
    // that building them left (a third more on average).
    item.path = absolutePath(root, file.relativePath);
    item.path.squeeze();
    item.relativePath = file.relativePath;
    item.relativePath.squeeze();
    item.scriptType = file.type;
    auto failed = [&item](QString message) {
        item.status = IndexStatus::invalid(IndexInvalidReason::readFailure);
        item.readError = std::move(message);
        return item;
    };
    if (!file.nameIsUtf8)
        return failed(QStringLiteral("The name of this file or of a folder above it is not "
                                     "valid UTF-8; rename it to use the script."));
    const int fd = open(file.nativePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failed(systemMessage(errno));
    // Scripts are small: one that fits the buffer is parsed where it was read, with no copy and
    // no size asked first; a bigger one is gathered into a string.
    char buffer[65536];
    size_t filled = 0;
    std::string larger;
    for (;;) {
        if (filled == sizeof buffer) {
            larger.append(buffer, filled);
            filled = 0;
        }
        const ssize_t count = read(fd, buffer + filled, sizeof buffer - filled);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            close(fd);
            return failed(systemMessage(error));
        }
        if (count == 0)
            break;
        filled += size_t(count);
    }
    close(fd);
    std::string_view contents(buffer, filled);
    if (!larger.empty())
        contents = larger.append(contents);
    if (!isValidUtf8(contents))
        return failed(QStringLiteral("The file is not valid UTF-8 text."));
    item.metadata = ShellFileMetadata::parseUtf8(
        contents.data(), contents.size(), annotationPrefix(file.type));
    item.status = IndexStatus::valid();
    if (inspect)
        inspect(item, contents);
    return item;
}

// The files the walk accepts, read while the walk goes on: the walk adds them in walk order,
// readers (the walking thread too, once it is done) take the next unread one, and every item
// lands at its file's place, so the order is the walk's however the reads interleave.
class ReadQueue {
public:
    ReadQueue(QString root, std::function<void(const FileItem &, std::string_view)> inspect)
        : m_root(std::move(root))
        , m_inspect(std::move(inspect))
    { }

    void add(AcceptedFile file)
    {
        std::lock_guard lock(m_mutex);
        m_files.push_back(std::move(file));
        m_items.emplace_back();
        m_changed.notify_one();
    }
    // No more files come; with abandon, the walk failed and unread files are left unread.
    void finish(bool abandon)
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
        m_abandoned = abandon;
        m_changed.notify_all();
    }
    // Reads files until none is left and the walk has finished.
    void read()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_next < m_files.size() || m_finished; });
            if (m_abandoned || m_next == m_files.size())
                return;
            // A deque keeps its elements in place as it grows, so they are used unlocked.
            const size_t i = m_next++;
            const AcceptedFile &file = m_files[i];
            FileItem &item = m_items[i];
            lock.unlock();
            item = readItem(file, m_root, m_inspect);
            lock.lock();
        }
    }
    std::vector<FileItem> takeItems()
    {
        std::lock_guard lock(m_mutex);
        return { std::make_move_iterator(m_items.begin()), std::make_move_iterator(m_items.end()) };
    }

private:
    const QString m_root;
    const std::function<void(const FileItem &, std::string_view)> m_inspect;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<AcceptedFile> m_files; // guarded by m_mutex, as are the fields below
    std::deque<FileItem> m_items;
    size_t m_next = 0;
    bool m_finished = false;
    bool m_abandoned = false;
};

class Walker {
public:
    Walker(const FileIndex::Configuration &configuration, ReadQueue &files)
        : m_configuration(configuration)
        , m_files(files)
    { }

    // Lists one folder and, in sort order, its files and sub-folders. False on a listing error.
    bool scan(const std::string &folder, const QString &relativeFolder, int depth, bool pathIsUtf8)
    {
        if (m_configuration.maxFolderDepth < depth) {
            m_skipped.push_back({ relativeFolder, FileIndex::Skipped::Reason::tooDeep });
            return true;
        }
        DIR *directory = opendir(folder.c_str());
        if (!directory)
            return fail(folder, errno);
        struct stat folderStat { };
        if (fstat(dirfd(directory), &folderStat) != 0) {
            const int error = errno;
            closedir(directory);
            return fail(folder, error);
        }
        // A linked folder that leads back to a folder being walked would only repeat it.
        const auto identity = std::make_pair(folderStat.st_dev, folderStat.st_ino);
        if (std::find(m_openFolders.begin(), m_openFolders.end(), identity)
            != m_openFolders.end()) {
            closedir(directory);
            qCDebug(lcIndex) << "skipping a folder link that loops:" << folder.c_str();
            return true;
        }
        std::vector<DirectoryEntry> entries;
        if (!list(directory, folder, entries))
            return false;

        m_openFolders.push_back(identity);
        int accepted = 0;
        for (const DirectoryEntry &entry : entries) {
            std::string path = folder + '/' + entry.name;
            QString relative
                = relativeFolder.isEmpty() ? entry.decoded : relativeFolder + u'/' + entry.decoded;
            const bool utf8 = pathIsUtf8 && isValidUtf8(entry.name);
            if (entry.isDirectory) {
                if (!scan(path, relative, depth + 1, utf8))
                    return false;
                continue;
            }
            const std::optional<ScriptType> type = scriptTypeForFileName(entry.decoded);
            if (!type)
                continue;
            if (accepted >= m_configuration.maxFilesPerFolder) {
                m_skipped.push_back(
                    { std::move(relative), FileIndex::Skipped::Reason::pastFileLimit });
                continue;
            }
            ++accepted;
            m_files.add({ std::move(path), std::move(relative), *type, utf8 });
        }
        m_openFolders.pop_back();
        return true;
    }

    const QString &error() const { return m_error; }
    // Relative paths, as the walk met them.
    const std::vector<FileIndex::Skipped> &skipped() const { return m_skipped; }

private:
    bool list(DIR *directory, const std::string &folder, std::vector<DirectoryEntry> &entries)
    {
        // readdir leaves errno alone at the end of the folder, so it is cleared before every
        // call: a failed look at a link target must not read as a listing error.
        for (;;) {
            errno = 0;
            const dirent *entry = readdir(directory);
            if (!entry)
                break;
            if (entry->d_name[0] == '.')
                continue;
            bool isDirectory = entry->d_type == DT_DIR;
            bool isFile = entry->d_type == DT_REG;
            if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
                // Links are followed; one that leads nowhere is neither file nor folder.
                struct stat target { };
                if (fstatat(dirfd(directory), entry->d_name, &target, 0) == 0) {
                    isDirectory = S_ISDIR(target.st_mode);
                    isFile = S_ISREG(target.st_mode);
                }
            }
            if (!isDirectory && !isFile)
                continue;
            const QString decoded = QString::fromUtf8(entry->d_name);
            entries.push_back(
                { entry->d_name, decoded, text::lowercasedComposed(decoded), isDirectory });
        }
        const int error = errno;
        closedir(directory);
        if (error != 0)
            return fail(folder, error);
        std::sort(
            entries.begin(), entries.end(), [](const DirectoryEntry &a, const DirectoryEntry &b) {
                if (const int order = text::compareScalars(a.sortKey, b.sortKey))
                    return order < 0;
                return text::compareScalars(text::nfc(a.decoded), text::nfc(b.decoded)) < 0;
            });
        return true;
    }

    bool fail(const std::string &folder, int error)
    {
        m_error = QStringLiteral("The folder %1 cannot be read: %2.")
                      .arg(QString::fromUtf8(folder.c_str()), systemMessage(error));
        return false;
    }

    const FileIndex::Configuration &m_configuration;
    std::vector<std::pair<dev_t, ino_t>> m_openFolders;
    std::vector<FileIndex::Skipped> m_skipped;
    ReadQueue &m_files;
    QString m_error;
};

} // namespace

Expected<FileIndex> FileIndex::scan(const QString &root, Configuration configuration)
{
    const QString standardizedRoot = QDir::cleanPath(QFileInfo(root).absoluteFilePath());
    ReadQueue files(standardizedRoot, configuration.inspect);
    Walker walker(configuration, files);
    bool walked = false;
    // Reading dominates the scan: a worker thread reads while this one walks, then both read.
    WorkerThreads::runBeside([&files] { files.read(); },
        [&] {
            walked = walker.scan(
                QFile::encodeName(standardizedRoot).toStdString(), QString(), 0, true);
            files.finish(!walked);
            if (walked)
                files.read();
        });
    if (!walked)
        return Failure { walker.error() };
    FileIndex index;
    index.entries = files.takeItems();
    index.skipped = walker.skipped();
    for (Skipped &skipped : index.skipped)
        skipped.path = absolutePath(standardizedRoot, skipped.path);
    return index;
}

} // namespace runel

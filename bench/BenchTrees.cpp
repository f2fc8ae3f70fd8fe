#include "BenchTrees.h"

#include "TreeGenerator.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace runel::bench {
namespace {

namespace fs = std::filesystem;

// The temporary folder of this run, removed at exit.
class TemporaryFolder {
public:
    TemporaryFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "runel-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a temporary folder");
        m_path = pattern;
    }
    ~TemporaryFolder()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    const fs::path &path() const { return m_path; }

private:
    fs::path m_path;
};

fs::path treesFolder()
{
    if (const char *shared = std::getenv("RUNEL_BENCH_TREES"); shared && *shared)
        return shared;
    static const TemporaryFolder temporary;
    return temporary.path();
}

void readAll(const fs::path &root)
{
    char buffer[65536];
    for (const fs::directory_entry &entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        const int fd = open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
        while (fd >= 0 && read(fd, buffer, sizeof buffer) > 0) { }
        if (fd >= 0)
            close(fd);
    }
}

} // namespace

QString benchTree(int scripts)
{
    static std::map<int, QString> made;
    if (const auto found = made.find(scripts); found != made.end())
        return found->second;
    const fs::path root = treesFolder() / ("scripts-" + std::to_string(scripts));
    if (!fs::exists(root)) {
        const TreeSummary summary = generateTree(root, scripts);
        std::fprintf(stderr, "generated %d scripts in %d folders under %s\n", summary.scripts,
            summary.folders, root.c_str());
    }
    readAll(root);
    return made[scripts] = QString::fromStdString(root.string());
}

} // namespace runel::bench

#include "TreeGenerator.h"

#include "ScriptText.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <stdexcept>
#include <vector>

namespace runel::bench {
namespace {

constexpr int maxScriptsPerFolder = 64;
constexpr int maxFolderDepth = 6;

struct Folder {
    std::filesystem::path path;
    int depth = 0;
    size_t parent = 0;
    std::vector<size_t> folders = {}; // its sub-folders, as indexes
    int scripts = 0;
    std::set<std::string> names = {}; // of its folders and scripts
};

// A name not yet used in folder: drawn again on a clash, numbered when drawing keeps clashing.
std::string unusedName(Random &random, Folder &folder, std::string (*draw)(Random &))
{
    std::string name = draw(random);
    for (int attempt = 0; folder.names.count(name) && attempt < 20; ++attempt)
        name = draw(random);
    const std::string base = name;
    for (int suffix = 2; folder.names.count(name); ++suffix)
        name = base + '-' + std::to_string(suffix);
    folder.names.insert(name);
    return name;
}

class Generator {
public:
    Generator(const std::filesystem::path &root, int scripts, std::uint32_t seed)
        : m_random(seed)
        , m_topLevelFolders(size_t(std::clamp(scripts / 80, 4, 12)))
    {
        m_folders.push_back({ root, 0, 0 });
    }

    TreeSummary run(int scripts)
    {
        addScripts(0, std::min(scripts, 10));
        while (m_summary.scripts < scripts) {
            const size_t folder = newFolder();
            addScripts(folder,
                std::min(m_random.between(8, maxScriptsPerFolder), scripts - m_summary.scripts));
        }
        m_summary.folders = int(m_folders.size()) - 1;
        return m_summary;
    }

private:
    // A new folder: a few top-level folders first, then one at the end of a random walk down
    // from a top-level folder, so that the scripts spread over the categories and the depths.
    size_t newFolder()
    {
        size_t parent = 0;
        if (m_folders[0].folders.size() >= m_topLevelFolders) {
            parent = m_folders[0].folders[m_random.below(std::uint32_t(m_topLevelFolders))];
            while (m_folders[parent].depth < maxFolderDepth && !m_folders[parent].folders.empty()
                && !m_random.chance(35)) {
                const std::vector<size_t> &children = m_folders[parent].folders;
                parent = children[m_random.below(std::uint32_t(children.size()))];
            }
            if (m_folders[parent].depth == maxFolderDepth)
                parent = m_folders[parent].parent;
        }
        const std::string name = unusedName(m_random, m_folders[parent], folderName);
        Folder folder { m_folders[parent].path / name, m_folders[parent].depth + 1, parent };
        std::filesystem::create_directory(folder.path);
        m_summary.deepestFolder = std::max(m_summary.deepestFolder, folder.depth);
        m_folders.push_back(std::move(folder));
        m_folders[parent].folders.push_back(m_folders.size() - 1);
        return m_folders.size() - 1;
    }

    void addScripts(size_t index, int count)
    {
        for (int i = 0; i < count; ++i) {
            Folder &folder = m_folders[index];
            const std::string name = unusedName(m_random, folder, scriptName);
            const std::string text = scriptText(m_random, name);
            std::ofstream file(folder.path / (name + ".sh"), std::ios::binary);
            file.write(text.data(), std::streamsize(text.size()));
            if (!file)
                throw std::runtime_error("cannot write " + (folder.path / name).string());
            ++folder.scripts;
            ++m_summary.scripts;
            m_summary.bytes += text.size();
            m_summary.mostScriptsInAFolder
                = std::max(m_summary.mostScriptsInAFolder, folder.scripts);
        }
    }

    Random m_random;
    size_t m_topLevelFolders;
    std::vector<Folder> m_folders;
    TreeSummary m_summary;
};

} // namespace

TreeSummary generateTree(const std::filesystem::path &root, int scripts, std::uint32_t seed)
{
    std::filesystem::create_directories(root);
    if (!std::filesystem::is_empty(root))
        throw std::runtime_error(root.string() + " is not empty");
    return Generator(root, scripts, seed).run(scripts);
}

} // namespace runel::bench

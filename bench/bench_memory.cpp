// What the model holds on the heap for the generated 5,000-script tree, part by part: the
// scanned files, the built index, its search catalog, and what a reload leaves behind. Heap in
// use from mallinfo2 (small blocks plus mmapped ones), so the figures are the allocator's view
// whatever the process's other pages hold. Not timed; prints one table.
#include "BenchTrees.h"

#include "core/hud/SearchCatalog.h"
#include "core/index/ScriptIndex.h"

#include <cstdio>
#include <malloc.h>
#include <memory>

namespace {

using namespace runel;

size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void row(const char *part, size_t bytes, int scripts)
{
    std::printf("| %-44s | %8.0f KiB | %6.0f B |\n", part, double(bytes) / 1024.0,
        double(bytes) / double(scripts));
}

} // namespace

int main(int argc, char **argv)
{
    const int scripts = argc > 1 ? std::atoi(argv[1]) : 5000;
    const QString root = bench::benchTree(scripts);
    const ScriptIndex::Configuration configuration {};
    std::printf("| Part (%d scripts) | Heap in use | Per script |\n| --- | --- | --- |\n", scripts);

    const size_t start = heapInUse();
    auto files = FileIndex::scan(root, configuration.fileIndex).value();
    const size_t scanned = heapInUse();
    row("scanned files (FileIndex)", scanned - start, scripts);

    std::shared_ptr<const ScriptIndex> index = ScriptIndex::build(std::move(files), configuration);
    const size_t built = heapInUse();
    row("index (files, sequence, search, health)", built - start, scripts);

    std::shared_ptr<const SearchCatalog> catalog = SearchCatalog::of(index);
    const size_t withCatalog = heapInUse();
    row("search catalog", withCatalog - built, scripts);

    // A reload: the new index and its catalog replace the old ones, which the catalog cache
    // lets go of once two newer catalogs were made.
    for (int reload = 0; reload < 2; ++reload) {
        auto again = ScriptIndex::build(
            FileIndex::scan(root, configuration.fileIndex).value(), configuration);
        index = std::move(again);
        catalog = SearchCatalog::of(index);
    }
    row("index and catalog after two reloads", heapInUse() - start, scripts);
    catalog.reset();
    index.reset();
    std::printf("(left in use after letting go of both: %.0f KiB, the catalog cache's two)\n",
        double(heapInUse() - start) / 1024.0);
    return 0;
}

// Writes a generated scripts folder for the benchmarks: make_tree ROOT COUNT [SEED]
#include "TreeGenerator.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char **argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr,
            "usage: make_tree ROOT COUNT [SEED]\n"
            "Writes COUNT bash scripts below ROOT (new or empty).\n");
        return 2;
    }
    try {
        const int count = std::stoi(argv[2]);
        const auto seed = argc == 4 ? std::uint32_t(std::stoul(argv[3])) : 2024u;
        const runel::bench::TreeSummary summary = runel::bench::generateTree(argv[1], count, seed);
        std::printf("%s: %d scripts in %d folders, %.1f MB, deepest folder %d levels, "
                    "at most %d scripts to a folder\n",
            argv[1], summary.scripts, summary.folders, double(summary.bytes) / 1e6,
            summary.deepestFolder, summary.mostScriptsInAFolder);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "make_tree: %s\n", error.what());
        return 1;
    }
    return 0;
}

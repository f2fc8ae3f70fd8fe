// Builds the index of a folder a number of times, for a profiler to watch:
// profile_index ROOT [TIMES] (valgrind --tool=callgrind, perf record).
#include "core/index/ScriptIndex.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: profile_index ROOT [TIMES]\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const int times = argc == 3 ? std::stoi(argv[2]) : 10;
    size_t reachable = 0;
    for (int i = 0; i < times; ++i) {
        const runel::Expected<std::unique_ptr<runel::ScriptIndex>> built
            = runel::ScriptIndex::scanAndBuild(root, runel::ScriptIndex::Configuration {});
        if (!built) {
            std::fprintf(stderr, "profile_index: %s\n", qPrintable(built.error()));
            return 1;
        }
        reachable = (*built)->sequence.reachableItems.size();
    }
    std::printf("%zu reachable scripts\n", reachable);
    return 0;
}

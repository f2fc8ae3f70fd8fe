#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace runel::bench {

// What one generated scripts folder holds.
struct TreeSummary {
    int scripts = 0;
    int folders = 0; // not counting the root
    int deepestFolder = 0; // levels below the root
    int mostScriptsInAFolder = 0;
    std::uintmax_t bytes = 0;
};

// Writes `scripts` shell scripts below root, which must not exist yet or be empty: at most 64
// to a folder, folders at most 6 levels deep, each script 1 to 3 KB of bash with a few
// annotation lines. The same count and seed always give the same tree, byte for byte.
TreeSummary generateTree(const std::filesystem::path &root, int scripts, std::uint32_t seed = 2024);

} // namespace runel::bench

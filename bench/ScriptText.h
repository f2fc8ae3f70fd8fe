#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace runel::bench {

// The generator's random source. Draws use plain modulo rather than the standard
// distributions, whose output differs between standard libraries: a seed must give the same
// tree everywhere.
class Random {
public:
    explicit Random(std::uint32_t seed)
        : m_engine(seed)
    { }
    std::uint32_t below(std::uint32_t bound) { return m_engine() % bound; }
    int between(int low, int high) { return low + int(below(std::uint32_t(high - low + 1))); }
    bool chance(int percent) { return below(100) < std::uint32_t(percent); }
    template<typename Array> const char *pick(const Array &words)
    {
        return words[below(std::uint32_t(std::size(words)))];
    }

private:
    std::mt19937 m_engine;
};

// A folder name for a scripts folder ("docker", "homelab", ...).
std::string folderName(Random &random);

// A script name without extension ("restart-nginx", "sync_photos_daily", ...).
std::string scriptName(Random &random);

// The whole text of a bash script named name: a header with a few annotation lines, then
// plausible commands, 1 to 3 KB in all.
std::string scriptText(Random &random, const std::string &name);

} // namespace runel::bench

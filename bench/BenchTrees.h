#pragma once

#include <QString>

namespace runel::bench {

// The generated scripts folder of the given size, made on first use and read once so that
// the benchmarks run on a warm cache. With RUNEL_BENCH_TREES set, the trees live in
// $RUNEL_BENCH_TREES/scripts-COUNT (made there when missing, as bench/compare.sh shares them);
// otherwise in a temporary folder that is removed when the program ends.
QString benchTree(int scripts);

} // namespace runel::bench

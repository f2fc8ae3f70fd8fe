#include "LineCut.h"

#include <cstring>

namespace runel {

namespace {

const char *findLastNewline(const char *data, std::size_t size)
{
    return static_cast<const char *>(::memrchr(data, '\n', size));
}

} // namespace

LineCut cutAtLastLine(const char *data, std::size_t size)
{
    LineCut cut;
    const char *lastNewline = findLastNewline(data, size);
    if (!lastNewline) {
        cut.line = { data, size };
        return cut;
    }
    // Only the last line the chunk finishes matters: it lies wholly in the chunk when another
    // newline comes before it, and ends the line being assembled otherwise.
    const char *lineStart = data;
    if (const char *previous = findLastNewline(data, std::size_t(lastNewline - data))) {
        cut.discardsCurrent = true;
        lineStart = previous + 1;
    }
    cut.line = { lineStart, std::size_t(lastNewline - lineStart) };
    cut.endsLine = true;
    cut.rest = { lastNewline + 1, std::size_t(data + size - lastNewline - 1) };
    return cut;
}

} // namespace runel

#pragma once

#include <cstddef>
#include <string_view>

namespace runel {

// How a chunk of output changes a reader that keeps only the newest line: the bytes that
// belong to the line being assembled (after discarding it when the chunk holds a whole newer
// line), whether that line ends in this chunk, and the bytes that start the next one.
// Newlines are in none of the parts.
struct LineCut {
    bool discardsCurrent = false; // the chunk holds a newline before the one ending the line
    std::string_view line; // append to the current line
    bool endsLine = false; // then finish it
    std::string_view rest; // then start the next line with these
};

LineCut cutAtLastLine(const char *data, std::size_t size);

} // namespace runel

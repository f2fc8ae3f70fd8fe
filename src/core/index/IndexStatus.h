#pragma once

#include <optional>

namespace runel {

enum class IndexInvalidReason { ignored, readFailure, duplicateSequence, invalidKey };

// The outcome for one file in one index: valid, or invalid for a reason.
struct IndexStatus {
    std::optional<IndexInvalidReason> invalidReason;

    static IndexStatus valid() { return {}; }
    static IndexStatus invalid(IndexInvalidReason reason) { return { reason }; }
    bool isValid() const { return !invalidReason.has_value(); }
    bool is(IndexInvalidReason reason) const { return invalidReason == reason; }
    bool operator==(const IndexStatus &) const = default;
};

} // namespace runel

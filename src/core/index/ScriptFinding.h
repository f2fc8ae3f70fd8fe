#pragma once

#include <QString>

namespace runel {

// Something in a script that does not do what its author likely meant: an annotation that does
// nothing or less than it seems to, or a reason the index leaves the script out. The parser and
// the index never fail on these; `runel check` and the Scripts tab tell the author of them.
struct ScriptFinding {
    QString path; // absolute
    int line = 0; // counted from 1 as editors do; 0 when about the whole file
    QString message; // one sentence: what is wrong, what it leads to, what to do
    bool operator==(const ScriptFinding &) const = default;
};

} // namespace runel

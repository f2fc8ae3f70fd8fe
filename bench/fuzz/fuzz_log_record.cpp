// One run's record file as the log reads it back. A record that decodes names its output file
// inside the log folder, and writing it out and reading that again gives the same record: what
// Runel writes, it can read.
#include "FuzzSupport.h"

#include "core/log/LogRecord.h"

using namespace runel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<LogRecord> record = LogRecord::fromJson(fuzz::bytesOf(data, size));
    if (!record)
        return 0;
    const QString &name = record->logFileName;
    FUZZ_CHECK(!name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/'));
    FUZZ_CHECK(record->date.isValid() && record->date.timeSpec() == Qt::UTC);

    const std::string written = record->toJson();
    const std::optional<LogRecord> reread = LogRecord::fromJson(written);
    FUZZ_CHECK(reread.has_value());
    FUZZ_CHECK(*reread == *record);
    FUZZ_CHECK(reread->toJson() == written);
    return 0;
}

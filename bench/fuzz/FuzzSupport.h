#pragma once

#include <QByteArray>
#include <QLoggingCategory>
#include <QStringDecoder>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

// What every fuzz target shares: a failed invariant ends the run the way a sanitizer does, so
// libFuzzer keeps the input; the core's log lines are silenced, since most inputs are meant to
// be refused and a line per refusal would slow the run to the speed of the terminal.

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(                                                                          \
                stderr, "fuzz invariant failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace runel::fuzz {

// Set before libFuzzer starts, in every target that includes this header.
inline const bool loggingSilenced = [] {
    QLoggingCategory::setFilterRules(QStringLiteral("runel.*=false"));
    return true;
}();

inline std::string_view bytesOf(const uint8_t *data, size_t size)
{
    return { reinterpret_cast<const char *>(data), size };
}

// Whether bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF);
// an initial byte-order mark counts as text, as the core reads it.
inline bool isValidUtf8(std::string_view bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString decoded = decoder(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    return !decoder.hasError();
}

} // namespace runel::fuzz

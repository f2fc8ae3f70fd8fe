#include "Text.h"

#include <memory>
#include <unicode/brkiter.h>
#include <unicode/coll.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>

namespace runel::text {
namespace {

const UChar *icuChars(QStringView text)
{
    return reinterpret_cast<const UChar *>(text.utf16());
}

bool isAscii(QStringView text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

// Creating a break iterator costs far more than using one, so each thread keeps its own.
icu::BreakIterator *characterIterator()
{
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(created) : nullptr;
    }();
    return iterator.get();
}

// Like the break iterator, one collator per thread: a collator is not safe to share.
icu::Collator *standardCollator()
{
    thread_local std::unique_ptr<icu::Collator> collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Collator> created(
            icu::Collator::createInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status) || !created)
            return std::unique_ptr<icu::Collator>();
        created->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
        return U_SUCCESS(status) ? std::move(created) : nullptr;
    }();
    return collator.get();
}

} // namespace

QString lowercased(QStringView text)
{
    if (isAscii(text)) {
        QString result = text.toString();
        for (QChar &c : result) {
            if (c >= u'A' && c <= u'Z')
                c = QChar(c.unicode() + (u'a' - u'A'));
        }
        return result;
    }
    QString result(text.size() + 8, Qt::Uninitialized);
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length = u_strToLower(reinterpret_cast<UChar *>(result.data()),
            int32_t(result.size()), icuChars(text), int32_t(text.size()), "", &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            result.resize(length);
            continue;
        }
        if (U_FAILURE(status))
            return text.toString();
        result.resize(length);
        return result;
    }
    return text.toString();
}

QString nfc(QStringView text)
{
    if (isAscii(text))
        return text.toString();
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2 *normalizer = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status))
        return text.toString();
    const icu::UnicodeString source(false, icuChars(text), int32_t(text.size()));
    if (normalizer->isNormalized(source, status) && U_SUCCESS(status))
        return text.toString();
    status = U_ZERO_ERROR;
    const icu::UnicodeString normalized = normalizer->normalize(source, status);
    if (U_FAILURE(status))
        return text.toString();
    return QString(reinterpret_cast<const QChar *>(normalized.getBuffer()), normalized.length());
}

QString lowercasedComposed(QStringView text)
{
    return isAscii(text) ? lowercased(text) : lowercased(nfc(text));
}

std::vector<qsizetype> characterEnds(QStringView text)
{
    std::vector<qsizetype> ends;
    ends.reserve(size_t(text.size()));
    // Plain ASCII text without a carriage return is one character per code unit.
    icu::BreakIterator *iterator
        = isAscii(text) && !text.contains(u'\r') ? nullptr : characterIterator();
    if (!iterator) {
        for (qsizetype i = 1; i <= text.size(); ++i)
            ends.push_back(i);
        return ends;
    }
    UErrorCode status = U_ZERO_ERROR;
    UText *utext = utext_openUChars(nullptr, icuChars(text), int64_t(text.size()), &status);
    iterator->setText(utext, status);
    if (U_FAILURE(status)) {
        utext_close(utext);
        ends.assign(1, text.size());
        return ends;
    }
    iterator->first();
    for (int32_t end = iterator->next(); end != icu::BreakIterator::DONE; end = iterator->next())
        ends.push_back(end);
    utext_close(utext);
    return ends;
}

std::vector<QString> characters(QStringView text)
{
    std::vector<QString> result;
    qsizetype start = 0;
    for (const qsizetype end : characterEnds(text)) {
        result.push_back(text.sliced(start, end - start).toString());
        start = end;
    }
    return result;
}

qsizetype characterCount(QStringView text)
{
    if (isAscii(text) && !text.contains(u'\r'))
        return text.size();
    return qsizetype(characters(text).size());
}

int compareScalars(QStringView a, QStringView b)
{
    return u_strCompare(icuChars(a), int32_t(a.size()), icuChars(b), int32_t(b.size()), true);
}

bool canonicallyEqual(QStringView a, QStringView b)
{
    if (a == b)
        return true;
    if (isAscii(a) && isAscii(b))
        return false;
    return nfc(a) == nfc(b);
}

int compareLocalizedStandard(QStringView a, QStringView b)
{
    if (icu::Collator *collator = standardCollator()) {
        UErrorCode status = U_ZERO_ERROR;
        const UCollationResult order = collator->compare(
            icuChars(a), int32_t(a.size()), icuChars(b), int32_t(b.size()), status);
        if (U_SUCCESS(status) && order != UCOL_EQUAL)
            return order == UCOL_LESS ? -1 : 1;
    }
    return compareScalars(a, b);
}

bool isWhitespace(char32_t c)
{
    if (c == u'\t' || c == u' ')
        return true;
    if (c < 0x80)
        return false;
    return u_charType(UChar32(c)) == U_SPACE_SEPARATOR;
}

QStringView trimmedWhitespace(QStringView text)
{
    // None of the separators is outside the Basic Multilingual Plane, so code units suffice.
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isWhitespace(text[begin].unicode()))
        ++begin;
    while (end > begin && isWhitespace(text[end - 1].unicode()))
        --end;
    return text.sliced(begin, end - begin);
}

bool isNewline(char32_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

} // namespace runel::text

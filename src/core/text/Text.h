#pragma once

#include <QString>
#include <QStringView>
#include <vector>

// The one place where Runel decides what a character, a lower-case letter or an ordering of
// names is. Everything goes through ICU so that results do not depend on the process locale:
// QString::toLower misses the final sigma, QTextBoundaryFinder splits flag sequences and
// QCollator ignores numeric ordering in the C locale. All functions are thread-safe.
namespace runel::text {

// Locale-independent Unicode default lower-casing (ICU root locale).
QString lowercased(QStringView text);

// Canonical composition (NFC), so that canonically equivalent strings compare equal.
QString nfc(QStringView text);

// Composed, then lower-cased: the form in which names are told apart. ASCII, composed
// already, costs one copy.
QString lowercasedComposed(QStringView text);

// The extended grapheme clusters ("characters") of text, in order.
std::vector<QString> characters(QStringView text);
qsizetype characterCount(QStringView text);
// Where each character of text ends, in code units: what characters() would cut, uncut.
std::vector<qsizetype> characterEnds(QStringView text);

// Lexicographic comparison over Unicode scalar values (not UTF-16 code units): <0, 0 or >0.
int compareScalars(QStringView a, QStringView b);

// Whether two texts are canonically equivalent (equal after canonical composition).
bool canonicallyEqual(QStringView a, QStringView b);

// The order in which a file browser lists names: the root collation with digit runs compared
// by numeric value ("file 9" before "file 10"); letter case only breaks ties. Texts that still
// compare equal are ordered by scalar value, so only identical texts give 0.
int compareLocalizedStandard(QStringView a, QStringView b);

// Tab and the space separators (general category Zs, which includes the no-break space).
bool isWhitespace(char32_t c);
QStringView trimmedWhitespace(QStringView text);

// The newline set: U+000A to U+000D, U+0085, U+2028 and U+2029.
bool isNewline(char32_t c);

} // namespace runel::text

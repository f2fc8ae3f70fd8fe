#pragma once

#include <QString>
#include <QStringView>
#include <span>
#include <vector>

namespace runel {

// A key is one character (grapheme cluster), lower case when it comes from a name.
using Key = QString;
using KeyGroup = std::vector<Key>;

// The key for one character. Keys of ASCII characters share one string each, so that the
// thousands of keys of an index cost no allocation apiece.
Key keyOf(QStringView character);

// Whether two keys are the same: most keys are one UTF-16 unit, compared here without a call
// into Qt's string comparison (a key press compares thousands).
inline bool sameKey(const Key &a, const Key &b)
{
    return a.size() == b.size() && (a.size() == 1 ? a.front() == b.front() : a == b);
}

// Whether a key can be typed on the HUD: ASCII letters and digits, the ASCII punctuation of a
// standard keyboard, the space, "§" and "±".
bool isTypableKey(QStringView key);

// Whether key can be one of a script's keys: a typable key that a lower-cased name can give,
// so no capital letter.
bool canBeScriptKey(QStringView key);

// The keys of text, lower-cased, one per character.
KeyGroup keysOf(QStringView text);

// The keys one after the other, as they are typed and shown.
QString joinedKeys(std::span<const Key> keys);

// The flat keys joined into one lower-case string: what makes two scripts' sequences equal.
QString keySequenceString(const KeyGroup &flatKeys);

} // namespace runel

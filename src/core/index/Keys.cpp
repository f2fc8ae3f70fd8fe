#include "Keys.h"

#include "core/text/Text.h"

#include <algorithm>
#include <array>

namespace runel {

Key keyOf(QStringView character)
{
    static const std::array<QString, 128> ascii = [] {
        std::array<QString, 128> keys;
        for (char16_t c = 0; c < 128; ++c)
            keys[c] = QString(QChar(c));
        return keys;
    }();
    if (character.size() == 1 && character[0].unicode() < 128)
        return ascii[character[0].unicode()];
    return character.toString();
}

bool isTypableKey(QStringView key)
{
    if (key.size() != 1)
        return false;
    const char16_t c = key[0].unicode();
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'))
        return true;
    static constexpr std::u16string_view others
        = u"`~!@#$%^&*()-_=+[{]}\\|;:'\",<.>/? \u00A7\u00B1";
    return others.find(c) != std::u16string_view::npos;
}

bool canBeScriptKey(QStringView key)
{
    return isTypableKey(key) && !(key[0] >= u'A' && key[0] <= u'Z');
}

KeyGroup keysOf(QStringView text)
{
    const QString lower = text::lowercasedComposed(text);
    KeyGroup keys;
    qsizetype start = 0;
    for (const qsizetype end : text::characterEnds(lower)) {
        keys.push_back(keyOf(QStringView(lower).sliced(start, end - start)));
        start = end;
    }
    return keys;
}

QString joinedKeys(std::span<const Key> keys)
{
    qsizetype size = 0;
    for (const Key &key : keys)
        size += key.size();
    if (size == 0)
        return QString(); // null, as joining nothing always gave
    // Copied into place: appending key by key costs more than the copying itself.
    QString joined(size, Qt::Uninitialized);
    QChar *end = joined.data();
    for (const Key &key : keys)
        end = std::copy(key.cbegin(), key.cend(), end);
    return joined;
}

QString keySequenceString(const KeyGroup &flatKeys)
{
    return text::lowercased(joinedKeys(flatKeys));
}

} // namespace runel

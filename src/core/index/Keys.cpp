#include "Keys.h"

#include "text/Text.h"

namespace runel {

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

KeyGroup keysOf(QStringView text)
{
    return text::characters(text::lowercased(text::nfc(text)));
}

QString keySequenceString(const KeyGroup &flatKeys)
{
    QString joined;
    for (const Key &key : flatKeys)
        joined += key;
    return text::lowercased(joined);
}

} // namespace runel

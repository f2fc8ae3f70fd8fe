#include "JsonWriter.h"

namespace runel::cli {

void JsonWriter::separate()
{
    if (m_needsComma)
        m_text += ',';
    m_needsComma = true;
}

JsonWriter &JsonWriter::open(char bracket)
{
    separate();
    m_text += bracket;
    m_needsComma = false;
    return *this;
}

JsonWriter &JsonWriter::close(char bracket)
{
    m_text += bracket;
    m_needsComma = true;
    return *this;
}

JsonWriter &JsonWriter::key(const char *name)
{
    separate();
    m_text += '"';
    m_text += name;
    m_text += "\":";
    m_needsComma = false;
    return *this;
}

JsonWriter &JsonWriter::value(const QString &text)
{
    separate();
    // QString holds no invalid UTF-16 that toUtf8 would not replace, so the bytes are valid.
    const QByteArray utf8 = text.toUtf8();
    auto special
        = [](char c) { return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20; };
    m_text += '"';
    const char *cursor = utf8.cbegin();
    while (cursor != utf8.cend()) {
        const char *run = cursor;
        while (cursor != utf8.cend() && !special(*cursor))
            ++cursor;
        m_text.append(run, size_t(cursor - run));
        if (cursor == utf8.cend())
            break;
        const char c = *cursor++;
        m_text += '\\';
        if (c == '"' || c == '\\') {
            m_text += c;
        } else if (c == '\n') {
            m_text += 'n';
        } else if (c == '\t') {
            m_text += 't';
        } else {
            static constexpr char hex[] = "0123456789abcdef";
            m_text += "u00";
            m_text += hex[(c >> 4) & 0xF];
            m_text += hex[c & 0xF];
        }
    }
    m_text += '"';
    return *this;
}

JsonWriter &JsonWriter::value(const char *ascii)
{
    separate();
    m_text += '"';
    m_text += ascii;
    m_text += '"';
    return *this;
}

JsonWriter &JsonWriter::null()
{
    separate();
    m_text += "null";
    return *this;
}

JsonWriter &JsonWriter::raw(const char *text)
{
    m_text += text;
    return *this;
}

} // namespace runel::cli

#include "JsonWriter.h"

#include <string>

namespace runel::cli {

JsonWriter JsonWriter::continuing()
{
    JsonWriter writer;
    writer.m_needsComma = true;
    return writer;
}

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
    // Most strings are short ASCII with nothing to escape (keys, paths): they are narrowed
    // straight into place, in one pass that also notices anything else.
    const size_t start = m_text.size();
    m_text.resize(start + size_t(text.size()) + 2);
    char *out = m_text.data() + start;
    *out++ = '"';
    bool plain = true, ascii = true;
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        ascii &= unit < 0x80;
        plain &= unit >= 0x20 && unit != u'"' && unit != u'\\';
        *out++ = char(unit);
    }
    *out = '"';
    if (plain && ascii)
        return *this;
    m_text.resize(start + 1);
    if (ascii) {
        for (const QChar c : text)
            appendEscaped(char(c.unicode()));
    } else {
        // QString::toUtf8 replaces what is not valid UTF-16, so the bytes are valid UTF-8.
        for (const char c : text.toUtf8())
            appendEscaped(c);
    }
    m_text += '"';
    return *this;
}

void JsonWriter::appendEscaped(char c)
{
    if (c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20) {
        m_text += c;
        return;
    }
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

JsonWriter &JsonWriter::value(const char *ascii)
{
    separate();
    m_text += '"';
    m_text += ascii;
    m_text += '"';
    return *this;
}

JsonWriter &JsonWriter::value(long long number)
{
    separate();
    m_text += std::to_string(number);
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

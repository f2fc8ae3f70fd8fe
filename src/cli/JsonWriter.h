#pragma once

#include <QString>
#include <string>

namespace runel::cli {

// Writes compact JSON straight into a string. For outputs with thousands of rows, where
// building a document tree first would cost more than the scan behind it. The caller keeps
// the nesting right; the writer places the commas.
class JsonWriter {
public:
    JsonWriter() = default;
    // A writer for values that continue an array begun by another writer, after its values:
    // the first one written is preceded by a comma.
    static JsonWriter continuing();

    void reserve(size_t bytes) { m_text.reserve(bytes); }
    JsonWriter &beginObject() { return open('{'); }
    JsonWriter &endObject() { return close('}'); }
    JsonWriter &beginArray() { return open('['); }
    JsonWriter &endArray() { return close(']'); }
    JsonWriter &key(const char *name); // name is plain ASCII
    JsonWriter &value(const QString &text);
    JsonWriter &value(const char *ascii); // plain ASCII
    JsonWriter &value(long long number);
    JsonWriter &null();
    JsonWriter &raw(const char *text); // inserted as is, between values (white space)

    const std::string &text() const { return m_text; }
    std::string takeText() { return std::move(m_text); }
    // Forgets the text written so far (once printed), keeping the place in the document.
    void clearText() { m_text.clear(); }

private:
    JsonWriter &open(char bracket);
    JsonWriter &close(char bracket);
    void separate();
    void appendEscaped(char c); // one byte of a string's UTF-8

    std::string m_text;
    bool m_needsComma = false;
};

} // namespace runel::cli

#include "Console.h"

#include <QByteArray>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace runel::cli {

namespace {

void write(std::FILE *stream, QStringView text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

QStringView escapeCode(Style style)
{
    switch (style) {
    case Style::none:
        return {};
    case Style::bold:
        return u"\x1b[1m";
    case Style::dim:
        return u"\x1b[2m";
    case Style::green:
        return u"\x1b[32m";
    case Style::gray:
        return u"\x1b[90m";
    case Style::yellow:
        return u"\x1b[33m";
    case Style::red:
        return u"\x1b[31m";
    }
    return {};
}

bool breaksDisplay(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029 || c == 0x200e
        || c == 0x200f || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

Console::Console(std::FILE *out, std::FILE *err, bool colour)
    : m_out(out)
    , m_err(err)
    , m_colour(colour)
{ }

Console Console::standard()
{
    const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    const bool noColour = !qEnvironmentVariableIsEmpty("NO_COLOR");
    const bool dumb = qEnvironmentVariable("TERM") == u"dumb";
    return Console(stdout, stderr, terminal && !noColour && !dumb);
}

void Console::print(QStringView text)
{
    write(m_out, text);
}

void Console::printUtf8(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), m_out);
    std::fflush(m_out);
}

void Console::printError(QStringView text)
{
    write(m_err, text);
}

QString Console::styled(QStringView text, Style style) const
{
    if (!m_colour || style == Style::none)
        return text.toString();
    QString result = escapeCode(style).toString();
    result.append(text);
    result.append(u"\x1b[0m");
    return result;
}

QString printable(QStringView text)
{
    QString result;
    result.reserve(text.size());
    // Every character escaped here is in the Basic Multilingual Plane, so code units suffice.
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if (!breaksDisplay(unit)) {
            result.append(c);
        } else if (unit == u'\n') {
            result.append(u"\\n");
        } else if (unit == u'\r') {
            result.append(u"\\r");
        } else if (unit == u'\t') {
            result.append(u"\\t");
        } else if (unit < 0x100) {
            result.append(u"\\x%1"_s.arg(unsigned(unit), 2, 16, QChar(u'0')));
        } else {
            result.append(u"\\u%1"_s.arg(unsigned(unit), 4, 16, QChar(u'0')));
        }
    }
    return result;
}

} // namespace runel::cli

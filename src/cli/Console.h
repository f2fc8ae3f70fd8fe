#pragma once

#include <QString>
#include <QStringView>
#include <cstdio>
#include <string_view>

namespace runel::cli {

enum ExitCode : int { exitSuccess = 0, exitFailure = 1, exitUsage = 2 };

enum class Style { none, bold, dim, green, gray, yellow, red };

// Where a command writes: results to standard output, diagnostics to standard error, both as
// UTF-8. Styles turn into colours only when colour is on.
class Console {
public:
    Console(std::FILE *out, std::FILE *err, bool colour);

    // The process's own streams; colour only when standard output is a terminal, NO_COLOR is
    // unset or empty and TERM is not "dumb".
    static Console standard();

    bool colour() const { return m_colour; }
    void print(QStringView text);
    void printUtf8(std::string_view text);
    void printError(QStringView text);
    // text wrapped in the escape codes of style, or text itself without colour.
    QString styled(QStringView text, Style style) const;

private:
    std::FILE *m_out;
    std::FILE *m_err;
    bool m_colour;
};

// text with every character that would break a one-line display (control characters, line
// and paragraph separators, bidirectional overrides) written as an escape such as "\n" or
// "\x1b", so that a name can never start a new line or reorder a row.
QString printable(QStringView text);

} // namespace runel::cli

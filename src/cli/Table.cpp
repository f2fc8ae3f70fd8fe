#include "Table.h"

#include "core/text/Text.h"

#include <algorithm>

namespace runel::cli {

QString Table::render(const Console &console, QStringView indent) const
{
    std::vector<qsizetype> widths;
    std::vector<std::vector<qsizetype>> counts;
    counts.reserve(m_rows.size());
    for (const auto &row : m_rows) {
        auto &rowCounts = counts.emplace_back();
        if (widths.size() < row.size())
            widths.resize(row.size(), 0);
        for (size_t column = 0; column < row.size(); ++column) {
            const qsizetype count = text::characterCount(row[column].text);
            rowCounts.push_back(count);
            widths[column] = std::max(widths[column], count);
        }
    }

    QString result;
    for (size_t r = 0; r < m_rows.size(); ++r) {
        const auto &row = m_rows[r];
        QString line = indent.toString();
        // Trailing empty cells would only leave spaces at the end of the line.
        size_t used = row.size();
        while (used > 0 && row[used - 1].text.isEmpty())
            --used;
        for (size_t column = 0; column < used; ++column) {
            if (column > 0)
                line.append(u"  ");
            line.append(console.styled(row[column].text, row[column].style));
            if (column + 1 < used)
                line.append(QString(widths[column] - counts[r][column], u' '));
        }
        result.append(line);
        result.append(u'\n');
    }
    return result;
}

} // namespace runel::cli

#pragma once

#include "Console.h"

#include <QString>
#include <vector>

namespace runel::cli {

struct Cell {
    QString text; // already printable: one line, no control characters
    Style style = Style::none;
};

// Rows of cells printed in aligned columns. Widths count characters (grapheme clusters), so a
// name with accents or combining marks does not push its row out of line; the last column is
// not padded.
class Table {
public:
    void addRow(std::vector<Cell> cells) { m_rows.push_back(std::move(cells)); }
    bool isEmpty() const { return m_rows.empty(); }
    // Every row on its own line, each line starting with indent, columns two spaces apart.
    QString render(const Console &console, QStringView indent = {}) const;

private:
    std::vector<std::vector<Cell>> m_rows;
};

} // namespace runel::cli

#include "SimDesktop/Model/SimTable.h"

namespace lorvantine {

SimElement SimTable::laidOutIn(SimElement table) const
{
    table.rules = rules;
    for (size_t r = 0; r < rows.size(); ++r) {
        SimElement row("AXRow");
        row.font = table.font;
        double x = 0;
        for (size_t c = 0; c < columns.size(); ++c) {
            SimElement cell("AXCell");
            cell.font = table.font;
            if (r < headerRows)
                cell.font.weight = SimFont::Weight::bold;
            cell.at({ x, 0 }).sized(columns[c]);
            cell.padding = cellPadding;
            if (c < rows[r].size() && !rows[r][c].empty()) {
                SimElement text("AXStaticText", rows[r][c]);
                text.font = cell.font;
                cell.child(std::move(text));
            }
            row.child(std::move(cell));
            x += columns[c];
        }
        table.child(std::move(row));
    }
    return table;
}

} // namespace lorvantine

#pragma once

#include <functional>
#include <vector>

class QPainter;

namespace qarn3 {

// One piece of a report page, the page's width: a heading, a table row, a plot.
struct PageBlock {
    int height = 0; // device units
    std::function<void(QPainter&, int top)> draw;
    bool keepWithNext = false; // a heading: moves to the next page with the block after it
    // A table row: starting a page, the table's header row comes first.
    const PageBlock* header = nullptr;
};

// Where a block went.
struct PlacedBlock {
    int page = 0;
    int top = 0;
    const PageBlock* block = nullptr;
};

// Lays the blocks out, in order, on pages pageHeight high: a block that does not fit below
// the last goes to the next page (a block higher than a page alone on its own); a heading
// goes with the block after it; a table row starting a page has its header repeated above.
std::vector<PlacedBlock> layOutPages(const std::vector<PageBlock>& blocks, int pageHeight);
int pageCount(const std::vector<PlacedBlock>& placed);

} // namespace qarn3

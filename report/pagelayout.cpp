#include "report/pagelayout.h"

#include <algorithm>

namespace qarn3 {

std::vector<PlacedBlock> layOutPages(const std::vector<PageBlock>& blocks, int pageHeight) {
    std::vector<PlacedBlock> placed;
    int page = 0, y = 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const PageBlock& b = blocks[i];
        int needed = b.height;
        if (b.keepWithNext && i + 1 < blocks.size()) needed += blocks[i + 1].height;
        if (y > 0 && y + needed > pageHeight) {
            ++page;
            y = 0;
        }
        if (y == 0 && b.header && b.header != &b) {
            placed.push_back({page, y, b.header});
            y += b.header->height;
        }
        placed.push_back({page, y, &b});
        y += b.height;
    }
    return placed;
}

int pageCount(const std::vector<PlacedBlock>& placed) {
    return placed.empty() ? 1 : placed.back().page + 1;
}

} // namespace qarn3

#pragma once

#include <vector>

namespace qarn3 {

// Shares a width among panels that each need some width for their whole text. The panel that
// needs least is served first and none takes more than an equal share of what is left, so as
// many texts as possible are shown whole and the rest are cut evenly; when every text fits, the
// width left over is shared out equally (any remainder to the last panels). The widths sum to
// available (none below 0).
std::vector<int> shareWidths(const std::vector<int>& needed, int available);

} // namespace qarn3

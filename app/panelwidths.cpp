#include "app/panelwidths.h"

#include <algorithm>
#include <numeric>

namespace qarn3 {

std::vector<int> shareWidths(const std::vector<int>& needed, int available) {
    const int n = static_cast<int>(needed.size());
    std::vector<int> widths(needed.size(), 0);
    int left = std::max(available, 0);
    std::vector<std::size_t> order(needed.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return needed[a] < needed[b]; });
    for (int k = 0; k < n; ++k) {
        const std::size_t i = order[static_cast<std::size_t>(k)];
        widths[i] = std::clamp(needed[i], 0, left / (n - k));
        left -= widths[i];
    }
    for (int k = 0; k < n; ++k) {
        const int extra = left / (n - k);
        widths[static_cast<std::size_t>(k)] += extra;
        left -= extra;
    }
    return widths;
}

} // namespace qarn3

// Feeds arbitrary received bytes through both receive rings and the sample decoder, with
// puts, gets, peeks and discards interleaved as the input's control bytes say.
#include "link/protocol.h"
#include "link/rxring.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

using namespace qarn3;

namespace {
std::unique_ptr<UsbRxRing> usb = std::make_unique<UsbRxRing>();
std::unique_ptr<ComRxRing> com = std::make_unique<ComRxRing>();

template <typename Ring> void exercise(Ring& ring, const std::uint8_t* data, std::size_t size) {
    RxErrorState errors;
    ring.clear();
    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t op = data[i++];
        switch (op % 6) {
        case 0:
        case 1: { // a block of received bytes, repeated to reach a full ring
            std::size_t n = op / 6;
            if (i + n > size) n = size - i;
            for (int r = 0; r < (op & 0x80 ? 2000 : 1); ++r)
                ring.putBlock(data + i, n);
            i += n;
            break;
        }
        case 2: {
            const int s = ring.GetSample(errors);
            if (s < -2048 || s > 2044 || (s & 3) != 0) std::abort();
            break;
        }
        case 3:
            ring.RingGet();
            break;
        case 4:
            ring.peek(op);
            ring.recent(op);
            (void)ring.copyOldest(op);
            break;
        case 5:
            if (op > 200) ring.clear();
            break;
        }
        if (static_cast<std::size_t>(ring.RxCount()) > Ring::kCapacity) std::abort();
    }
    while (ring.RxCount() >= 2)
        ring.GetSample(errors);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    exercise(*usb, data, size);
    exercise(*com, data, size);
    return 0;
}

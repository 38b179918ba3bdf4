#pragma once

#include "link/protocol.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

namespace qarn3 {

// What a ring does with a character that arrives when it is full.
enum class WhenFull { Refuse, OverwriteOldest };

// A link's first-in-first-out ring of received characters. Every put, get and discard takes
// the ring's lock, so the producer thread and the main thread never see a torn count. It
// counts the damage it sees: characters lost because it was full (refused, or overwritten
// unread) and pairs GetSample rejected; a clear() is not damage and leaves both counts.
template <typename Index, std::size_t Capacity, WhenFull Policy> class RxRing {
public:
    static constexpr std::size_t kCapacity = Capacity;

    // Stores one character; false when it was refused (full, refusing ring).
    bool RingPut(std::uint8_t c) {
        std::lock_guard<std::mutex> guard(m_lock);
        return putUnlocked(c);
    }

    // Stores a block under one lock; returns how many characters were kept.
    std::size_t putBlock(const std::uint8_t* data, std::size_t n) {
        std::lock_guard<std::mutex> guard(m_lock);
        std::size_t kept = 0;
        for (std::size_t i = 0; i < n; ++i)
            kept += putUnlocked(data[i]) ? 1 : 0;
        return kept;
    }

    // Takes the oldest character; 0 when empty.
    std::uint8_t RingGet() {
        std::lock_guard<std::mutex> guard(m_lock);
        return getUnlocked();
    }

    // Characters lost to a full ring since it was made.
    std::uint64_t lost() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_lost;
    }
    // Pairs GetSample rejected for their framing since the ring was made.
    std::uint64_t rejected() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_rejected;
    }

    // Empties the ring and zeroes its slots.
    void clear() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_slots.fill(0);
        m_writeIndex = m_readIndex = 0;
        m_count = 0;
    }

    Index RxCount() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_count;
    }

    // The unread character offset places after the oldest, without taking it; 0 beyond.
    std::uint8_t peek(std::size_t offset) const {
        std::lock_guard<std::mutex> guard(m_lock);
        if (offset >= static_cast<std::size_t>(m_count)) return 0;
        return m_slots[(static_cast<std::size_t>(m_readIndex) + offset) % Capacity];
    }

    // The character back places before the write index (1 = the newest); 0 beyond.
    std::uint8_t recent(std::size_t back) const {
        std::lock_guard<std::mutex> guard(m_lock);
        if (back == 0 || back > static_cast<std::size_t>(m_count)) return 0;
        return m_slots[(static_cast<std::size_t>(m_writeIndex) + Capacity - back) % Capacity];
    }

    // Copies up to n of the oldest unread characters without taking them.
    std::string copyOldest(std::size_t n) const {
        std::lock_guard<std::mutex> guard(m_lock);
        if (n > static_cast<std::size_t>(m_count)) n = static_cast<std::size_t>(m_count);
        std::string s(n, '\0');
        for (std::size_t i = 0; i < n; ++i)
            s[i] =
                static_cast<char>(m_slots[(static_cast<std::size_t>(m_readIndex) + i) % Capacity]);
        return s;
    }

    // The next sample: framing checked, errors counted into errors. Returns 0 when fewer than
    // two characters are unread (nothing consumed) or on a framing error. A bad first
    // character consumes only itself, which is how the stream falls back into step.
    int GetSample(RxErrorState& errors) {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_count < 2) return 0;
        const std::uint8_t first = getUnlocked();
        if (first & 0x01) {
            ++m_rejected;
            errors.countError();
            errors.RxErrorFlags |= rxerr::FirstChar;
            errors.BadFirstChar = first;
            return 0;
        }
        const std::uint8_t second = getUnlocked();
        if (!(second & 0x01)) {
            ++m_rejected;
            errors.countError();
            errors.RxErrorFlags |= rxerr::SecondChar;
            errors.BadSecondChar = second;
            return 0;
        }
        if ((first ^ second) & 0x02) {
            ++m_rejected;
            errors.countError();
            errors.RxErrorFlags |= rxerr::CharMatch;
            errors.BadSecondChar = second;
            return 0;
        }
        return decodePair(first, second);
    }

    Index WriteIndex() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_writeIndex;
    }
    Index ReadIndex() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_readIndex;
    }

private:
    static Index advance(Index i) {
        return static_cast<Index>(static_cast<std::size_t>(i) + 1 == Capacity ? 0 : i + 1);
    }

    bool putUnlocked(std::uint8_t c) {
        const bool full = static_cast<std::size_t>(m_count) >= Capacity;
        if (full) ++m_lost; // this character, or the oldest one it overwrites
        if (full && Policy == WhenFull::Refuse) return false;
        m_slots[static_cast<std::size_t>(m_writeIndex)] = c;
        m_writeIndex = advance(m_writeIndex);
        if (full) {
            // The oldest character was overwritten: the read index moves past it so the ring
            // still reads out oldest first.
            m_readIndex = m_writeIndex;
        } else {
            ++m_count;
        }
        return true;
    }

    std::uint8_t getUnlocked() {
        if (m_count == 0) return 0;
        const std::uint8_t c = m_slots[static_cast<std::size_t>(m_readIndex)];
        m_readIndex = advance(m_readIndex);
        --m_count;
        return c;
    }

    mutable std::mutex m_lock;
    Index m_writeIndex = 0;
    Index m_readIndex = 0;
    Index m_count = 0;
    std::uint64_t m_lost = 0;
    std::uint64_t m_rejected = 0;
    std::array<std::uint8_t, Capacity> m_slots{};
};

// USB: 65000 characters, 16-bit indexes; a character arriving when full is lost.
using UsbRxRing = RxRing<std::uint16_t, 65000, WhenFull::Refuse>;
// COM: 100001 characters, 32-bit indexes; a character arriving when full overwrites the oldest.
using ComRxRing = RxRing<std::int32_t, 100001, WhenFull::OverwriteOldest>;

} // namespace qarn3

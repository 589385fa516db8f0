#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace tonmiro::sound {

// A request to start a voice: the sample and the steady-clock time at which it was asked for.
struct VoiceStart {
    int sample = 0;
    std::chrono::steady_clock::time_point requested;
};

// Bounded lock-free queue of voice starts with any number of producers and one consumer
// (D. Vyukov's bounded queue: each cell carries a sequence number that says whose turn it is).
// push() never blocks and never allocates: when the queue is full it fails at once.
class VoiceStartQueue {
public:
    static constexpr std::size_t kCapacity = 1024; // a power of two

    VoiceStartQueue() {
        for (std::size_t i = 0; i < kCapacity; ++i) {
            m_cells[i].sequence.store(i, std::memory_order_relaxed);
        }
    }
    VoiceStartQueue(const VoiceStartQueue&) = delete;
    VoiceStartQueue& operator=(const VoiceStartQueue&) = delete;

    // Any thread. False when the queue is full.
    bool push(const VoiceStart& start) {
        std::size_t pos = m_enqueuePos.load(std::memory_order_relaxed);
        Cell* cell = nullptr;
        for (;;) {
            cell = &m_cells[pos & kMask];
            const std::size_t sequence = cell->sequence.load(std::memory_order_acquire);
            const auto diff = static_cast<std::ptrdiff_t>(sequence) - static_cast<std::ptrdiff_t>(pos);
            if (diff == 0) {
                if (m_enqueuePos.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
                    break;
                }
            } else if (diff < 0) {
                return false;
            } else {
                pos = m_enqueuePos.load(std::memory_order_relaxed);
            }
        }
        cell->value = start;
        cell->sequence.store(pos + 1, std::memory_order_release);
        return true;
    }

    // The consumer thread only. False when the queue is empty.
    bool pop(VoiceStart& out) {
        Cell& cell = m_cells[m_dequeuePos & kMask];
        if (cell.sequence.load(std::memory_order_acquire) != m_dequeuePos + 1) {
            return false;
        }
        out = cell.value;
        cell.sequence.store(m_dequeuePos + kCapacity, std::memory_order_release);
        ++m_dequeuePos;
        return true;
    }

private:
    static constexpr std::size_t kMask = kCapacity - 1;
    static_assert((kCapacity & kMask) == 0);

    struct Cell {
        std::atomic<std::size_t> sequence{0};
        VoiceStart value;
    };

    std::array<Cell, kCapacity> m_cells;
    alignas(64) std::atomic<std::size_t> m_enqueuePos{0};
    alignas(64) std::size_t m_dequeuePos = 0;
};

} // namespace tonmiro::sound

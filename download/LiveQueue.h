#pragma once

#include "DownloadFrame.h"

#include <array>
#include <cstdint>
#include <deque>
#include <optional>

// What the tool knows the controller holds: per slot (frame address) the value last delivered through the
// line in this run of the program, and whether a download left it in doubt. The link is send-only: this
// is what was written, not what was read back.
struct ControllerMemory {
    std::array<std::optional<std::uint16_t>, kavo::download::kFrameCount> values{};
    bool downloadRunning = false;    // a download is on its way: the controller holds a mix meanwhile
    bool downloadIncomplete = false; // the last download failed or was stopped: unknown until a complete one

    int KnownCount() const;
    // Slots whose delivered value differs from recipeValues; slots never delivered are not counted.
    int CountDifferences(const kavo::download::FrameValueArray& recipeValues) const;
};

// The live frames waiting for the line: one pending value per slot, the latest wins, taken oldest first.
// A value equal to the one last delivered at its slot is not sent again.
class LiveQueue {
  public:
    // Queues value for slot (0..191), or replaces the value pending there. A value equal to the one
    // delivered there drops what was pending instead (the edit went back to what the controller holds).
    void Put(int slot, std::uint16_t value, const ControllerMemory& memory);
    // The oldest pending slot and its latest value; skips values that became equal to the delivered ones.
    std::optional<std::pair<int, std::uint16_t>> Take(const ControllerMemory& memory);
    bool Empty() const { return m_order.empty(); }
    std::size_t Size() const { return m_order.size(); }
    void Clear();

  private:
    std::array<std::optional<std::uint16_t>, kavo::download::kFrameCount> m_value{};
    std::deque<int> m_order; // slots with a pending value, in the order they became pending
};

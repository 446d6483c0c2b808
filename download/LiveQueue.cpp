#include "LiveQueue.h"

#include <algorithm>

int ControllerMemory::KnownCount() const {
    return static_cast<int>(
        std::count_if(values.begin(), values.end(), [](const auto& v) { return v.has_value(); }));
}

int ControllerMemory::CountDifferences(const kavo::download::FrameValueArray& recipeValues) const {
    int n = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] && *values[i] != recipeValues[i]) {
            ++n;
        }
    }
    return n;
}

void LiveQueue::Put(int slot, std::uint16_t value, const ControllerMemory& memory) {
    if (slot < 0 || slot >= kavo::download::kFrameCount) {
        return;
    }
    const auto i = static_cast<std::size_t>(slot);
    if (memory.values[i] == value) {
        if (m_value[i]) {
            m_value[i].reset();
            m_order.erase(std::find(m_order.begin(), m_order.end(), slot));
        }
        return;
    }
    if (!m_value[i]) {
        m_order.push_back(slot);
    }
    m_value[i] = value;
}

std::optional<std::pair<int, std::uint16_t>> LiveQueue::Take(const ControllerMemory& memory) {
    while (!m_order.empty()) {
        const int slot = m_order.front();
        m_order.pop_front();
        const auto i = static_cast<std::size_t>(slot);
        const std::uint16_t value = *m_value[i];
        m_value[i].reset();
        if (memory.values[i] != value) {
            return std::make_pair(slot, value);
        }
    }
    return std::nullopt;
}

void LiveQueue::Clear() {
    m_value.fill(std::nullopt);
    m_order.clear();
}

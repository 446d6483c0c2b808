#include "CCmdTarget.h"

#include <vector>

bool CCmdTarget::OnCmdMsg(UINT id) {
    const auto it = m_commands.find(id);
    if (it == m_commands.end()) {
        return false;
    }
    // Copy first: a handler may rebind commands of this target while it runs.
    const std::function<void()> handler = it->second;
    handler();
    return true;
}

void CCmdTarget::SetCommandHandler(UINT id, std::function<void()> handler) {
    m_commands[id] = std::move(handler);
    CommandStateChanged(id);
}

void CCmdTarget::SetCommandEnabler(UINT id, std::function<bool()> enabled) {
    m_enablers[id] = std::move(enabled);
    CommandStateChanged(id);
}

bool CCmdTarget::IsCommandEnabledHere(UINT id) const {
    if (!HasCommandHandler(id)) {
        return false;
    }
    const auto it = m_enablers.find(id);
    return it == m_enablers.end() || !it->second || it->second();
}

void CCmdTarget::AddStateObserver(const void* owner, StateObserver observer) {
    m_observers[owner] = std::move(observer);
}

void CCmdTarget::RemoveStateObserver(const void* owner) {
    m_observers.erase(owner);
}

void CCmdTarget::CommandStateChanged(UINT id) const {
    // An observer may add or remove observers while it runs: each is looked up again before its turn.
    std::vector<const void*> owners;
    owners.reserve(m_observers.size());
    for (const auto& entry : m_observers) {
        owners.push_back(entry.first);
    }
    for (const void* owner : owners) {
        const auto it = m_observers.find(owner);
        if (it != m_observers.end()) {
            const StateObserver observer = it->second;
            observer(id);
        }
    }
}

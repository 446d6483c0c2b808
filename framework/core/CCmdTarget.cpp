#include "CCmdTarget.h"

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
}

void CCmdTarget::SetCommandEnabler(UINT id, std::function<bool()> enabled) {
    m_enablers[id] = std::move(enabled);
}

bool CCmdTarget::IsCommandEnabledHere(UINT id) const {
    if (!HasCommandHandler(id)) {
        return false;
    }
    const auto it = m_enablers.find(id);
    return it == m_enablers.end() || !it->second || it->second();
}

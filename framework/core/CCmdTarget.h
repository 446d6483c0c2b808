#pragma once

#include "CommandIds.h"

#include <functional>
#include <map>

// An object that handles commands by id. The frame routes a command to the first target in its
// chain that has a handler for it; a command that no target handles is shown disabled.
class CCmdTarget {
  public:
    // Told the id of a command whose handler or enabled state changed on a target.
    using StateObserver = std::function<void(UINT id)>;

    CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;
    virtual ~CCmdTarget() = default;

    bool HasCommandHandler(UINT id) const { return m_commands.count(id) != 0; }

    // Runs the handler for id; false when this target has none.
    bool OnCmdMsg(UINT id);

    // Binds (or rebinds) the handler of a command.
    void SetCommandHandler(UINT id, std::function<void()> handler);
    // A command whose handler is only sometimes usable (Undo with nothing to undo) says so here.
    void SetCommandEnabler(UINT id, std::function<bool()> enabled);
    // Whether this target's handler of id may run now: false without a handler.
    bool IsCommandEnabledHere(UINT id) const;

    // Whoever shows the commands (the frame's actions) is told of every change instead of asking: a
    // target whose enabler's answer changes calls CommandStateChanged. An observer is known by its owner,
    // which removes it before it goes.
    void AddStateObserver(const void* owner, StateObserver observer);
    void RemoveStateObserver(const void* owner);
    void CommandStateChanged(UINT id) const;

  private:
    std::map<UINT, std::function<void()>> m_commands;
    std::map<UINT, std::function<bool()>> m_enablers;
    std::map<const void*, StateObserver> m_observers;
};

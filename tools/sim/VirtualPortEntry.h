#pragma once

#include "PortNameTable.h"

#include <string>

// The virtual controller's entry in the port folder: the link COMn -> its pseudo-terminal, and beside it the
// lock file COMn.lock that names the terminal and stays locked (flock) for as long as the controller runs.
// The port table takes the entry for valid only while that lock is held, so a controller that is killed
// leaves no entry that leads a download into another program's terminal, and the next controller may take
// the name over. The lock is taken before the link is touched: two controllers never claim one name.
class VirtualPortEntry {
  public:
    enum class Claim { Taken, Busy, Failed };

    // device: the terminal the entry is to lead to.
    VirtualPortEntry(const PortNameTable& table, std::string device);
    // Releases the entry as Release() does.
    ~VirtualPortEntry();

    VirtualPortEntry(const VirtualPortEntry&) = delete;
    VirtualPortEntry& operator=(const VirtualPortEntry&) = delete;

    // Enters name -> device unless the name is held: by a running controller, or by an entry of the user's
    // own. An entry whose controller is gone, and a dangling link to a pseudo-terminal, are replaced; a
    // dangling link to anything else names an adapter that is unplugged and keeps its name. error tells why
    // on Failed.
    Claim Take(const std::string& name, std::string* error);
    // Takes the lowest name from COM1 that no present port answers to (a built-in serial device included);
    // Busy when every one is taken. *name is the name taken.
    Claim TakeLowestFree(std::string* name, std::string* error);
    // Removes the link while it still leads to this controller's terminal, then the lock file, and says
    // what became of the entry. Harmless when nothing was taken.
    std::string Release();

    const std::string& name() const { return m_name; }

  private:
    const PortNameTable& m_table;
    std::string m_device;
    std::string m_name;
    int m_lockFd = -1; // held while the entry is ours
};

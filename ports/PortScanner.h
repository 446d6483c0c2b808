#pragma once

#include "PortIdentity.h"
#include "PortNameTable.h"

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

// One present port: its name, the device the name maps to, and what that device is.
struct PortEntry {
    std::string name;
    std::string device;
    PortIdentity identity;
};

// Discovery with identities, for a caller that asks again and again (the form's refresh, every 5 s and on
// every udev event). Names come from EnumeratePorts; an identity is read once per device node and read
// again only when the node changed (another device number, or a node made anew on re-plugging).
class PortScanner {
  public:
    explicit PortScanner(PortNameTable table);

    // The present ports in increasing number.
    std::vector<PortEntry> Scan();
    // Reads every identity again at the next Scan: udev tells of a device once its rules have run, which
    // may be after a refresh saw the node without the by-id link.
    void Invalidate() { m_cache.clear(); }
    const PortNameTable& table() const { return m_table; }
    const PortIdentityReader& reader() const { return m_reader; }

  private:
    struct Cached {
        dev_t rdev = 0;
        ino_t ino = 0;
        long long ctimeNs = 0;
        PortIdentity identity;
    };
    PortNameTable m_table;
    PortIdentityReader m_reader;
    std::map<std::string, Cached> m_cache; // by device path; entries of devices gone are dropped
};

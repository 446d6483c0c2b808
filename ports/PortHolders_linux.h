#pragma once
// Processes and pseudo-terminals as /proc shows them: what the doctor and the search for a port's holder
// share (Linux only).
#include "PortDoctor.h"

#include <dirent.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

namespace port_holders {

bool IsNumber(const char* s);

// Calls fn(pid) for every process folder under procRoot; fn returns true to stop.
template <typename Fn> void ForEachProcess(const std::string& procRoot, Fn fn) {
    DIR* d = ::opendir(procRoot.c_str());
    if (d == nullptr) {
        return;
    }
    while (const dirent* e = ::readdir(d)) {
        if (IsNumber(e->d_name) && fn(static_cast<pid_t>(std::atol(e->d_name)))) {
            break;
        }
    }
    ::closedir(d);
}

// The program name of pid ("" when it is gone).
std::string ProgramName(const DoctorSystem& system, pid_t pid);
// The index N of the pseudo-terminal whose terminal end device is (/dev/pts/N, through any links),
// std::nullopt for any other device.
std::optional<unsigned> PtyIndex(const std::string& device);
// The program at the other end of the pseudo-terminal index: the first process holding its master.
std::optional<PortHolder> PtyPeer(unsigned index, const DoctorSystem& system);

} // namespace port_holders

#include "CliCommands.h"

#include <cstdio>

int RunPorts(const QStringList&) {
    std::fprintf(stderr, "kavo-cli ports: not available yet\n");
    return CliFailed;
}

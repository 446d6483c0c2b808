#include "CliCommands.h"

#include <cstdio>

int RunSimulate(const QStringList&) {
    std::fprintf(stderr, "kavo-cli simulate: not available yet\n");
    return CliFailed;
}

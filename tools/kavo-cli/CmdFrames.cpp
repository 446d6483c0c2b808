#include "CliCommands.h"

#include <cstdio>

int RunFrames(const QStringList&) {
    std::fprintf(stderr, "kavo-cli frames: not available yet\n");
    return CliFailed;
}

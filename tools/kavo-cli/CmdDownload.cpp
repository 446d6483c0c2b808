#include "CliCommands.h"

#include <cstdio>

int RunDownload(const QStringList&) {
    std::fprintf(stderr, "kavo-cli download: not available yet\n");
    return CliFailed;
}

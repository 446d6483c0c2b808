#include "CliCommands.h"

#include <cstdio>

int RunShow(const QStringList&) {
    std::fprintf(stderr, "kavo-cli show: not available yet\n");
    return CliFailed;
}

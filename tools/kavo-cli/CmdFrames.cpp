#include "CKAVODoc.h"
#include "CliCommands.h"
#include "DownloadFrame.h"

#include <cstdio>
#include <stdexcept>

int RunFrames(const QStringList& args) {
    if (args.size() == 2 && (args.at(1) == "--help" || args.at(1) == "-h")) {
        std::printf("Usage: kavo-cli frames FILE.aid\n\nPrints the 192 download frames of a recipe file in "
                    "sending order, one per line.\n");
        return CliOk;
    }
    if (args.size() != 2 || args.at(1).startsWith("-")) {
        std::fprintf(stderr, "Usage: kavo-cli frames FILE.aid\n");
        return CliBadUsage;
    }
    CKAVODoc doc;
    QString error;
    if (!doc.LoadFile(args.at(1), &error)) {
        std::fprintf(stderr, "kavo-cli frames: %s\n", qPrintable(error));
        return CliFailed;
    }
    std::vector<DownloadFrame> frames;
    try {
        frames = BuildDownloadFrames(doc.m_levels, doc.m_stepMasks);
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "kavo-cli frames: %s\n", e.what());
        return CliFailed;
    }
    for (const DownloadFrame& f : frames) {
        std::printf("%02X %02X %02X %02X %02X %02X\n", f[0], f[1], f[2], f[3], f[4], f[5]);
    }
    return std::fflush(stdout) == 0 ? CliOk : CliFailed;
}

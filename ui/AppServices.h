#pragma once

#include "DownloadWorker.h"
#include "PortNameTable.h"

#include <QString>

#include <memory>

class IBeeper;

// What the application hands down to its main frame and panes, so that none of them reaches for it:
// the port name table the setup form lists and opens ports through, the tone at the end of a download,
// the download's pacing, and the X display whose keyboard indicators the status bar follows.
// The program builds it from its environment (CKAVOApp); tests build their own.
struct AppServices {
    PortNameTable portTable;
    // Null: no tone; the desktop bell rings instead.
    std::shared_ptr<IBeeper> beeper;
    DownloadWorker::Options downloadOptions;
    // The X display name for the Caps/Num/Scroll Lock panes; empty: the panes stay blank.
    QString lockKeyDisplay;
};

// Edit-to-wire latency of live tuning: edits made through the setup form (offscreen) with Live ticked, the
// frames read at the far end of a pseudo-terminal entered as COM3. Beside it, one full download through the
// same form, which is what each edit cost before.
//
//   live_latency_bench [--edits N] [--no-download]
#include "AfxMessageBox.h"
#include "CFormSetup.h"
#include "CKAVOApp.h"
#include "CKAVODoc.h"
#include "CMainFrame.h"
#include "CSerialPortBase.h"
#include "FarEnd.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

// Runs the event loop until done() (false after 30 s).
bool Pump(const std::function<bool()>& done) {
    const auto end = Clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

void PumpUntil(Clock::time_point t) {
    while (Clock::now() < t) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
}

} // namespace

int main(int argc, char** argv) {
    int edits = 200;
    bool download = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--edits") == 0 && i + 1 < argc) {
            edits = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--no-download") == 0) {
            download = false;
        }
    }
    QTemporaryDir home;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
    qputenv("XDG_STATE_HOME", QFile::encodeName(home.filePath("state")));
    QApplication qapp(argc, argv);
    SetMessageBoxesInteractive(false); // the download's notice is printed and answered at once

    PtyPair pty;
    QDir(home.path()).mkpath(QStringLiteral("ports"));
    QDir(home.path()).mkpath(QStringLiteral("sys"));
    QDir(home.path()).mkpath(QStringLiteral("dev"));
    QFile::link(QString::fromStdString(pty.slaveName), home.filePath("ports/COM3"));
    AppServices services{PortNameTable(home.filePath("ports").toStdString(),
                                       home.filePath("sys").toStdString(),
                                       home.filePath("dev").toStdString()),
                         nullptr, DownloadWorker::Options(), QString()};
    services.downloadOptions.beepLength = std::chrono::milliseconds(0);
    CKAVOApp app(services);
    app.SetRegisterShellFileTypes(false);
    if (!app.InitInstance({})) {
        std::fprintf(stderr, "live_latency_bench: the window did not start\n");
        return 1;
    }
    CFormSetup* form = app.MainFrame()->FormPane();
    CKAVODoc* doc = app.Document();
    form->OpenPortButton()->click();
    if (!form->Session().Port().isOpen()) {
        std::fprintf(stderr, "live_latency_bench: COM3 did not open\n");
        return 1;
    }
    FarEnd far(pty);
    form->LiveBox()->click();
    if (!form->Session().IsLive()) {
        std::fprintf(stderr, "live_latency_bench: Live did not turn on\n");
        return 1;
    }

    // Single edits, 100 ms apart: a line step on channel 1, down and up in turn.
    std::vector<double> latency;
    QScrollBar* bar = form->LevelBar(1);
    for (int i = 0; i < edits; ++i) {
        const std::size_t before = far.Frames().size();
        const Clock::time_point edit = Clock::now();
        bar->triggerAction(i % 2 == 0 ? QAbstractSlider::SliderSingleStepSub
                                      : QAbstractSlider::SliderSingleStepAdd);
        if (!Pump([&] { return far.Frames().size() > before; })) {
            std::fprintf(stderr, "live_latency_bench: edit %d never arrived\n", i + 1);
            return 1;
        }
        latency.push_back(Ms(far.Frames()[before].at - edit));
        PumpUntil(edit + std::chrono::milliseconds(100));
    }

    // A 2-second drag over 255 thumb positions on channel 2, from 255 down to 1.
    PumpUntil(Clock::now() + std::chrono::milliseconds(200));
    QScrollBar* drag = form->LevelBar(2);
    const std::size_t dragFirst = far.Frames().size();
    const Clock::time_point dragStart = Clock::now();
    drag->setSliderDown(true);
    Clock::time_point lastStep;
    for (int step = 0; step < 255; ++step) {
        PumpUntil(dragStart + std::chrono::microseconds(2000000LL * step / 254));
        lastStep = Clock::now();
        drag->setSliderPosition(255 - step);
    }
    const std::uint16_t lastValue = 1;
    if (!Pump([&] {
            const auto f = far.Frames();
            return f.size() > dragFirst && FrameValue(f.back().frame) == lastValue &&
                   f.back().frame[1] == 0x22;
        })) {
        std::fprintf(stderr, "live_latency_bench: the drag's last value never arrived\n");
        return 1;
    }
    const std::vector<Arrival> all = far.Frames();
    const std::vector<Arrival> dragFrames(all.begin() + static_cast<std::ptrdiff_t>(dragFirst), all.end());
    const double lastArrival = Ms(dragFrames.back().at - lastStep);
    drag->setSliderDown(false);
    PumpUntil(Clock::now() + std::chrono::milliseconds(200));
    const bool recipeTook = doc->GetLevel(1, 1, 2) == lastValue;

    std::printf("Live edits through the form, 50 ms frame interval, %d single edits 100 ms apart:\n", edits);
    std::printf("| what | median | p99 | max |\n|---|---:|---:|---:|\n");
    std::printf("| edit to frame at the far end (ms) | %.2f | %.2f | %.2f |\n", Percentile(latency, 0.5),
                Percentile(latency, 0.99), Percentile(latency, 1.0));
    std::printf(
        "\nA 2 s drag of 255 thumb steps: %zu frames sent, least spacing %.1f ms, last value's arrival "
        "%.1f ms after the last step; recipe took the release: %s\n",
        dragFrames.size(), MinSpacingMs(dragFrames), lastArrival, recipeTook ? "yes" : "no");

    if (download) {
        form->LiveBox()->click(); // the download alone
        const std::size_t first = far.Frames().size();
        const Clock::time_point pressed = Clock::now();
        QMetaObject::invokeMethod(
            form, [form] { form->OnDownload(); }, Qt::QueuedConnection);
        if (!Pump([&] { return far.Frames().size() >= first + 192; })) {
            std::fprintf(stderr, "live_latency_bench: the download did not complete\n");
            return 1;
        }
        const double ms = Ms(far.Frames()[first + 191].at - pressed);
        std::printf("\nThe same by full download: %.0f ms from Download to the last frame, for every edit "
                    "(%d edits: %.1f min)\n",
                    ms, edits, ms * edits / 60000.0);
        Pump([&] { return !form->Session().IsDownloadRunning(); });
    }
    return 0;
}

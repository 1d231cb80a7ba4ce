// From the scanned bitmap to the composite on screen (after-scan preparation, whitening,
// detection, warp, smoothing, first paint) for the board's 4096 x 2000 scan and a
// 1280 x 1024 screen picture, against the time the simulated board takes to hand the same
// image over through TWAIN; ends with the ratio line.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QImage>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "capture/capture_state.h"
#include "capture/image_window.h"
#include "capture/mark_detection.h"
#include "capture/sheet_image.h"
#include "imaging/Ikcommon.h"
#include "imaging/Ikdllprocs.h"
#include "imaging/Ikscan.h"
#include "imaging/display_widget.h"
#include "simulator/simulator.h"

using namespace q47::capture;

namespace {

std::string g_dir;
std::unique_ptr<q47::sim::Simulator> g_board;
IKHANDLE g_scan = 0;  // one real scan from the simulated board, as handed over

// One scan through the acquisition component; the handed-over bitmap (caller frees).
IKHANDLE scanOnce(TVIkScan& scan) {
    IKHANDLE got = 0;
    scan.OnAfterScan = [&](QObject*, uint32_t dib, uint32_t, int32_t, int16_t) { got = dib; };
    scan.DSName.clear();
    scan.ScanList();
    for (const QString& name : scan.DSList)
        if (name.contains("ZELT Slatewise Q-47")) scan.DSName = name;
    scan.UiMode = vikScanNONUI;
    if (!scan.ScanOpenDS()) return 0;
    scan.PixelType = vikScanPixelPalette;
    scan.XResolution = scan.YResolution = 72;
    scan.setBitDepth(8);
    scan.Indicator = false;
    scan.ScanExec();
    scan.ScanCloseDS();
    return got;
}

void BM_SimulatorHandOver(benchmark::State& state) {
    TVIkScan scan;
    scan.ScanInitialize(1, 0, "SlateWise", "Zelt Orbita Corp.", "Slatewise", "ZELT Slatewise Q-47 Sereis");
    for (auto _ : state) {
        const IKHANDLE dib = scanOnce(scan);
        if (!dib) {
            state.SkipWithError("the simulated board gave no image");
            break;
        }
        Ikdllprocs::IKFreeMemory(dib);
    }
    scan.ScanTerminate();
}

void BM_ScanToCompositeOnScreen(benchmark::State& state) {
    if (!g_scan) {
        state.SkipWithError("no scan");
        return;
    }
    TheCaptureState() = CaptureState{};
    TfrmImg frm;
    QImage screen(1280, 1024, QImage::Format_RGB888);
    screen.fill(QColor(30, 90, 160));
    frm.VIkCapCommon->SetPicture(screen);
    frm.ShowIn(true);
    frm.SizeAndPlace();
    for (auto _ : state) {
        frm.VIkScan1AfterScan(Ikdllprocs::IKCopyImage(g_scan, 0, 0, 0, 0));
        frm.TakeSheetImage(true);
        DetectMarks(frm.SheetImage(), MarkRed, TheMarkDetection());
        frm.ComposeImages();
        frm.VIkDisp1->repaint();
    }
    frm.ReleaseAllImages();
}

BENCHMARK(BM_SimulatorHandOver)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ScanToCompositeOnScreen)->Unit(benchmark::kMillisecond)->Iterations(3);

class RecordingReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0) seconds[r.run_name.function_name] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::string pattern = (std::filesystem::temp_directory_path() / "q47imgbench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    g_dir = pattern;
    setenv("TWAIN_DS_DIR", Q47_DS_DIR, 1);
    setenv("Q47_DEVICE", ("sim:" + g_dir + "/board.sock").c_str(), 1);
    setenv("Q47_HOME", g_dir.c_str(), 1);
    if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int qargc = 1;
    static char name[] = "image_window_bench";
    static char* qargv[] = {name, nullptr};
    QApplication app(qargc, qargv);
    TVIkCommon engine;  // keeps the imaging engine loaded while the scan is held
    q47::sim::Config config;
    config.colourLamp = true;
    config.scanMs = 1;  // the board's own scanning time is not the hand-over
    g_board = std::make_unique<q47::sim::Simulator>(config);
    g_board->listen(g_dir + "/board.sock");
    {
        TVIkScan scan;
        scan.ScanInitialize(1, 0, "SlateWise", "Zelt Orbita Corp.", "Slatewise", "ZELT Slatewise Q-47 Sereis");
        g_scan = scanOnce(scan);
        scan.ScanTerminate();
    }
    benchmark::Initialize(&argc, argv);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto a = reporter.seconds.find("BM_ScanToCompositeOnScreen"), b = reporter.seconds.find("BM_SimulatorHandOver");
    if (a != reporter.seconds.end() && b != reporter.seconds.end() && b->second > 0)
        std::printf("ratio scan_to_composite_vs_board_hand_over %.2f (target <= 1.0)\n", a->second / b->second);
    if (g_scan) Ikdllprocs::IKFreeMemory(g_scan);
    g_board.reset();
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
    return 0;
}

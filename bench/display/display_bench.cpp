// Speed of the display control's redraw: a 2048 x 1000 base with two 24-bit layers (the
// upper one with a transparent colour) into a 900 x 600 area, against a single
// QPainter::drawImage of the base at the same size; ends with the ratio line.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "imaging/Ikdllprocs.h"
#include "imaging/Ikinit.h"
#include "imaging/Ikutils.h"
#include "imaging/display_widget.h"

namespace {

constexpr int kBaseW = 2048, kBaseH = 1000, kAreaW = 900, kAreaH = 600;

// The capture program's picture: a sheet, the screen picture over most of it, and the
// written sheet again on top with white see-through.
struct Scene {
    QImage base, screen, overlay;
    std::vector<IKHANDLE> handles;
    std::unique_ptr<TVIkDisp> disp;
    QImage target{kAreaW, kAreaH, QImage::Format_ARGB32_Premultiplied};

    Scene() {
        base = QImage(kBaseW, kBaseH, QImage::Format_RGB32);
        for (int y = 0; y < kBaseH; ++y) {
            auto* row = reinterpret_cast<QRgb*>(base.scanLine(y));
            for (int x = 0; x < kBaseW; ++x) row[x] = qRgb(200 + x % 56, 200 + y % 56, 230);
        }
        screen = QImage(1840, 900, QImage::Format_RGB32);
        for (int y = 0; y < screen.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(screen.scanLine(y));
            for (int x = 0; x < screen.width(); ++x) row[x] = qRgb(x & 255, y & 255, (x ^ y) & 255);
        }
        overlay = QImage(kBaseW, kBaseH, QImage::Format_RGB32);
        overlay.fill(Qt::white);
        QPainter p(&overlay);
        p.setPen(QPen(Qt::blue, 6));
        for (int i = 0; i < 40; ++i) p.drawLine(100 + 40 * i, 100, 300 + 35 * i, 900);
        p.end();

        InitializeIK();
        disp = std::make_unique<TVIkDisp>();
        disp->resize(kAreaW, kAreaH);
        disp->SetImgHandle(adopt(base));
        disp->GetRaster(0)->setEnableTrans(false);
        disp->GetRaster(0)->setImgHandle(adopt(screen));
        disp->GetRaster(0)->setStartX(104);
        disp->GetRaster(0)->setStartY(50);
        disp->GetRaster(1)->setTransColor(255, 255, 255);
        disp->GetRaster(1)->setImgHandle(adopt(overlay));
        disp->Display(vikStretch);
    }
    ~Scene() {
        disp.reset();
        for (IKHANDLE h : handles) Ikdllprocs::IKFreeMemory(h);
        TerminateIK();
    }
    IKHANDLE adopt(const QImage& img) {
        const std::vector<uint8_t> dib = Ikutils::qimageToDib(img);
        handles.push_back(Ikdllprocs::IKImportDib(dib.data(), uint32_t(dib.size())));
        return handles.back();
    }
};
Scene* g_scene = nullptr;

// A whole repaint of the control: composition, the copy to the device, frame and event.
void BM_DisplayRedraw(benchmark::State& state) {
    for (auto _ : state) {
        g_scene->disp->render(&g_scene->target);
        benchmark::DoNotOptimize(g_scene->target.constBits());
    }
}

// What a plain Qt program would do to show the base alone at that size.
void BM_DrawImageOfBase(benchmark::State& state) {
    for (auto _ : state) {
        QPainter p(&g_scene->target);
        p.drawImage(QRect(0, 0, kAreaW, kAreaH), g_scene->base);
        p.end();
        benchmark::DoNotOptimize(g_scene->target.constBits());
    }
}

BENCHMARK(BM_DisplayRedraw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawImageOfBase)->Unit(benchmark::kMillisecond);

// CPU time per iteration for the ratio line (median of the repetitions when there are any).
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const std::string name = r.run_name.function_name;
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
                seconds[name] = r.GetAdjustedCPUTime();
                medians_.insert(name);
            } else if (r.run_type == Run::RT_Iteration && r.iterations > 0 &&
                       !medians_.count(name)) {
                seconds[name] = r.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

private:
    std::set<std::string> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Scene scene;
    g_scene = &scene;
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto a = reporter.seconds.find("BM_DisplayRedraw"),
               b = reporter.seconds.find("BM_DrawImageOfBase");
    if (a != reporter.seconds.end() && b != reporter.seconds.end() && b->second > 0)
        std::printf("ratio display_redraw_vs_drawimage %.2f (target <= 3.0)\n",
                    a->second / b->second);
    return 0;
}

// Speed of the capture program's per-scan work: position detection, the warp of the
// screen picture and the whole sheet preparation; ends with the ratio lines.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "capture/mark_detection.h"
#include "capture/sheet_image.h"
#include "capture/warp_image.h"
#include "imaging/Ikcommon.h"
#include "imaging/Ikdllprocs.h"
#include "imaging/Ikeffect.h"
#include "platform/dib.h"

#ifdef Q47_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

using namespace q47::capture;

namespace {

void rect(RgbImage& img, int x, int y, int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    for (int j = y; j < y + h && j < img.height; ++j)
        for (int i = x; i < x + w && i < img.width; ++i) {
            uint8_t* p = img.row(j) + 3 * i;
            p[0] = b, p[1] = g, p[2] = r;
        }
}

// A half-size sheet as detection sees it: white paper, some blue writing, four red marks.
const RgbImage& sheet() {
    static RgbImage s = [] {
        RgbImage img(2048, 1000);
        for (int line = 0; line < 12; ++line)
            for (int x = 300; x < 1700; x += 9) rect(img, x, 240 + line * 45, 5, 14 + (x % 7), 30, 40, 160);
        for (auto [x, y] : {std::pair{150, 60}, {1850, 60}, {1850, 900}, {150, 900}}) rect(img, x, y, 30, 30, 220, 30, 30);
        return img;
    }();
    return s;
}

IKHANDLE importPicture(const RgbImage& img) {
    std::vector<uint8_t> dib = q47::dib::make(img.width, img.height, 24);
    q47::dib::View v;
    q47::dib::parse(dib.data(), dib.size(), &v);
    for (int y = 0; y < img.height; ++y) std::memcpy(const_cast<uint8_t*>(v.rowFromTop(y)), img.row(y), img.stride());
    return Ikdllprocs::IKImportDib(dib.data(), static_cast<uint32_t>(dib.size()));
}

// The engine stays loaded for the whole run.
TVIkCommon& engine() {
    static TVIkCommon e;
    return e;
}

void BM_DetectMarks(benchmark::State& state) {
    MarkDetection record;
    for (auto _ : state) {
        DetectMarks(sheet().view(), MarkRed, record);
        benchmark::DoNotOptimize(record.MarkCorners);
    }
    if (!record.found()) state.SkipWithError("the sheet's marks were not found");
}

void BM_DetectMarksNoColour(benchmark::State& state) {
    MarkDetection record;
    for (auto _ : state) {
        DetectMarks(sheet().view(), MarkNone, record);
        benchmark::DoNotOptimize(record.MarkCorners);
    }
}

void BM_CopyOfSheet24(benchmark::State& state) {
    std::vector<uint8_t> to(sheet().bytes.size());
    for (auto _ : state) {
        std::memcpy(to.data(), sheet().bytes.data(), to.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

// The screen picture and the outline it is laid onto: about 1800 by 900, skewed.
const Quad kSkewed{{40, 30}, {1790, 0}, {1830, 900}, {0, 860}};

IKHANDLE screenPicture() {
    static IKHANDLE h = [] {
        engine();
        RgbImage img(1024, 768);
        for (int y = 0; y < 768; ++y)
            for (int x = 0; x < 1024; ++x) {
                uint8_t* p = img.row(y) + 3 * x;
                p[0] = static_cast<uint8_t>(x), p[1] = static_cast<uint8_t>(y), p[2] = static_cast<uint8_t>(x + y);
            }
        return importPicture(img);
    }();
    return h;
}

void BM_WarpSkewed(benchmark::State& state) {
    const IKHANDLE screen = screenPicture();
    for (auto _ : state) {
        const IKHANDLE out = WarpScreenPicture(screen, kSkewed);
        if (!out) state.SkipWithError("warp failed");
        Ikdllprocs::IKFreeMemory(out);
    }
}

void BM_ResizeToBox(benchmark::State& state) {
    const IKHANDLE screen = screenPicture();
    const Box box = BoundingBox(kSkewed);
    TVIkEffect effect;
    effect.ImgHandle = screen;
    for (auto _ : state) {
        if (!effect.Resize(box.width, box.height, true)) state.SkipWithError("resize failed");
        Ikdllprocs::IKFreeMemory(effect.ResultHandle);
        if (effect.ResultHandle2) Ikdllprocs::IKFreeMemory(effect.ResultHandle2);
    }
}

// The whole preparation of a board scan: 4096 x 2000, 8 bits with a grey table, to a
// whitened 24-bit half-size sheet, then detection.
void BM_PrepareWholeSheet(benchmark::State& state) {
    engine();
    static IKHANDLE scan = [] {
        const IKHANDLE colour = importPicture([] {
            RgbImage big(4096, 2000);
            for (int y = 0; y < 2000; ++y)
                for (int x = 0; x < 4096; ++x) {
                    uint8_t* p = big.row(y) + 3 * x;
                    p[0] = p[1] = p[2] = static_cast<uint8_t>(200 + (x * 7 + y * 3) % 56);
                }
            for (auto [x, y] : {std::pair{300, 120}, {3700, 120}, {3700, 1800}, {300, 1800}})
                rect(big, x, y, 60, 60, 20, 20, 20);
            return big;
        }());
        TVIkEffect e;
        e.ImgHandle = colour;
        e.SetGray();
        Ikdllprocs::IKFreeMemory(colour);
        return e.ResultHandle;
    }();
    MarkDetection record;
    for (auto _ : state) {
        state.PauseTiming();
        const IKHANDLE copy = Ikdllprocs::IKCopyImage(scan, 0, 0, 0, 0);
        state.ResumeTiming();
        const IKHANDLE sheetHandle = PrepareScannedSheet(copy);
        WhitenSheet(sheetHandle);
        DetectMarks(sheetHandle, MarkBlack, record);
        Ikdllprocs::IKFreeMemory(sheetHandle);
    }
    if (!record.found()) state.SkipWithError("the scan's marks were not found");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 4096 * 2000);
}

#ifdef Q47_BENCH_OPENCV
// What one would write with OpenCV to find red marks: a colour range, a closing, and the
// connected components with their boxes.
void BM_OpenCvDetect(benchmark::State& state) {
    const RgbImage& s = sheet();
    const cv::Mat img(s.height, s.width, CV_8UC3, const_cast<uint8_t*>(s.bytes.data()), s.stride());
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(5, 5));
    cv::Mat mask, closed, labels, stats, centroids;
    for (auto _ : state) {
        cv::inRange(img, cv::Scalar(0, 0, 193), cv::Scalar(191, 191, 255), mask);
        cv::morphologyEx(mask, closed, cv::MORPH_CLOSE, kernel);
        const int n = cv::connectedComponentsWithStats(closed, labels, stats, centroids);
        benchmark::DoNotOptimize(n);
    }
}

void BM_OpenCvWarp(benchmark::State& state) {
    const IKHANDLE screen = screenPicture();
    uint32_t size = 0;
    const auto* bytes = static_cast<const uint8_t*>(Ikdllprocs::IKLockImage(screen, &size));
    q47::dib::View v;
    q47::dib::parse(bytes, size, &v);
    cv::Mat src(v.height, v.width, CV_8UC3);
    for (int y = 0; y < v.height; ++y) std::memcpy(src.ptr(y), v.rowFromTop(y), static_cast<size_t>(v.width) * 3);
    Ikdllprocs::IKUnlockImage(screen);
    const Box box = BoundingBox(kSkewed);
    const Quad q = RelativeTo(kSkewed, box);
    const cv::Point2f from[4] = {{0, 0}, {1024, 0}, {1024, 768}, {0, 768}};
    const cv::Point2f to[4] = {{float(q.topLeft.x), float(q.topLeft.y)}, {float(q.topRight.x), float(q.topRight.y)},
                               {float(q.bottomRight.x), float(q.bottomRight.y)},
                               {float(q.bottomLeft.x), float(q.bottomLeft.y)}};
    const cv::Mat m = cv::getPerspectiveTransform(from, to);
    cv::Mat out;
    for (auto _ : state) {
        cv::warpPerspective(src, out, m, cv::Size(box.width, box.height), cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                            cv::Scalar(255, 255, 255));
        benchmark::DoNotOptimize(out.data);
    }
}
#endif

}  // namespace

BENCHMARK(BM_DetectMarks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectMarksNoColour)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyOfSheet24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WarpSkewed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResizeToBox)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrepareWholeSheet)->Unit(benchmark::kMillisecond);
#ifdef Q47_BENCH_OPENCV
BENCHMARK(BM_OpenCvDetect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCvWarp)->Unit(benchmark::kMillisecond);
#endif

namespace {

// Keeps each benchmark's CPU time per iteration for the ratio lines (the machine is
// shared, so wall time carries other programs' load): the median of the repetitions when
// the run has them (--benchmark_repetitions), else the single run.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    std::map<std::string, double> bytesPerSecond;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const std::string name = r.run_name.function_name;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            const bool single = r.run_type == Run::RT_Iteration && r.iterations > 0 && !medians_.count(name);
            if (!median && !single) continue;
            if (median) medians_.insert(name);
            seconds[name] = r.GetAdjustedCPUTime();
            if (auto it = r.counters.find("bytes_per_second"); it != r.counters.end()) bytesPerSecond[name] = it->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }

private:
    std::set<std::string> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ratio = [&](const char* name, const char* a, const char* b, const char* relation, double goal) {
        const auto ia = reporter.seconds.find(a), ib = reporter.seconds.find(b);
        if (ia == reporter.seconds.end() || ib == reporter.seconds.end() || ib->second <= 0) return;
        std::printf("ratio %s %.2f (target %s %.1f)\n", name, ia->second / ib->second, relation, goal);
    };
    ratio("detect_marks_vs_copy", "BM_DetectMarks", "BM_CopyOfSheet24", "<=", 4.0);
    ratio("detect_marks_no_colour_vs_copy", "BM_DetectMarksNoColour", "BM_CopyOfSheet24", "<=", 4.0);
    ratio("warp_skewed_vs_resize", "BM_WarpSkewed", "BM_ResizeToBox", "<=", 3.0);
    ratio("detect_marks_vs_opencv", "BM_DetectMarks", "BM_OpenCvDetect", "<", 1.0);
    ratio("warp_skewed_vs_opencv", "BM_WarpSkewed", "BM_OpenCvWarp", "<", 1.0);
    if (auto it = reporter.bytesPerSecond.find("BM_PrepareWholeSheet"); it != reporter.bytesPerSecond.end())
        std::printf("throughput prepare_whole_sheet_4096x2000 %.1f MB/s (8-bit scan bytes)\n", it->second / 1e6);
    return 0;
}

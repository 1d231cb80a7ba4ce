// Speed of the data source's image path: buildDib against a plain memory copy of the same
// bytes, and a whole acquisition from the simulated board to a finished DIB.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/pump.h"
#include "platform/timer_host.h"
#include "simulator/simulator.h"
#include "twain_source/acquire_dialog.h"
#include "twain_source/image_buffer.h"

using namespace q47;
using namespace q47::twain_source;

namespace {

constexpr uint16_t kW = 4096, kH = 2000;

ImageBuffer& sheet(bool compress) {
    static ImageBuffer images[2];
    ImageBuffer& image = images[compress];
    if (!image.raw) {
        image.allocateRaw();
        std::vector<uint8_t> raw(size_t(kW) * kH);
        for (size_t k = 0; k < raw.size(); ++k) raw[k] = uint8_t(k * 7 + (k >> 11));
        image.appendRaw(raw.data(), raw.size());
        image.colour = true;
        image.compress = compress;
        image.geometry = dibGeometry(kW, kH, compress);
    }
    return image;
}

void BM_MemcpySameBytes(benchmark::State& state) {
    const ImageBuffer& image = sheet(false);
    const size_t n = size_t(kW) * kH;
    std::vector<uint8_t> dst(n);
    for (auto _ : state) {
        std::memcpy(dst.data(), image.raw.get(), n);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}
BENCHMARK(BM_MemcpySameBytes)->Unit(benchmark::kMillisecond)->Repetitions(5);

// The same copy into a freshly allocated DIB-sized block, as buildDib must produce one.
void BM_CopyIntoFreshBlock(benchmark::State& state) {
    const ImageBuffer& image = sheet(false);
    const size_t n = size_t(kW) * kH;
    DibMemory& memory = DibMemory::standard();
    for (auto _ : state) {
        void* block = memory.allocate(image.geometry.dibBytes());
        benchmark::DoNotOptimize(block);
        std::memcpy(static_cast<uint8_t*>(block) + kDibHeaderAndPalette, image.raw.get(), n);
        benchmark::ClobberMemory();
        memory.release(block);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}
BENCHMARK(BM_CopyIntoFreshBlock)->Unit(benchmark::kMillisecond)->Repetitions(5);

void buildDibBench(benchmark::State& state, bool compress) {
    ImageBuffer& image = sheet(compress);
    for (auto _ : state) {
        if (!buildDib(image)) state.SkipWithError("buildDib failed");
        benchmark::DoNotOptimize(image.pendingImage.handle());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH);
}
void BM_BuildDibColour(benchmark::State& state) { buildDibBench(state, false); }
void BM_BuildDibCompressed(benchmark::State& state) { buildDibBench(state, true); }
BENCHMARK(BM_BuildDibColour)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(BM_BuildDibCompressed)->Unit(benchmark::kMillisecond)->Repetitions(5);

// The pixel loop alone, into a buffer that is already paged in.
void BM_TransposeOnly(benchmark::State& state) {
    const ImageBuffer& image = sheet(false);
    std::vector<uint8_t> pixels(image.geometry.pixelBytes());
    for (auto _ : state) {
        transposeScanLines(image.raw.get(), image.rawCount, image.geometry, pixels.data());
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH);
}
BENCHMARK(BM_TransposeOnly)->Unit(benchmark::kMillisecond)->Repetitions(5);

struct NullView : AcquireView {
    void showStatus(const std::string&) override {}
    void setPanelReady(bool, const PanelButtons&) override {}
    void enableStopClose(bool) override {}
    void setProgressBarVisible(bool) override {}
    void showProgress(int) override {}
    void refreshPanel(const PanelContent&) override {}
    void layoutWindow(WindowMode) override {}
    void hideWindow() override {}
};
struct CountingTwain : TwainSide {
    int ready = 0, closes = 0;
    void notifyTransferReady() override { ++ready; }
    void requestClose() override { ++closes; }
};

// The board scans (one status poll), sends its 4096 x 2000 colour sheet over the
// simulator's socket, the link reads it block by block and buildDib makes the DIB.
void BM_AcquireFromSimulator(benchmark::State& state) {
    char dirTemplate[] = "/tmp/q47dsbench-XXXXXX";
    const std::string dir = ::mkdtemp(dirTemplate);
    sim::Config config;
    config.scanLines = kW;
    config.linePixels = kH;
    config.scanPolls = 1;
    config.colourLamp = true;
    sim::Simulator simulator(config);
    if (!simulator.listen(dir + "/board.sock")) {
        state.SkipWithError("simulator did not listen");
        return;
    }
    VirtualClock clock;
    VirtualPump pump(clock);
    RecordingNotifier notifier;
    NullView view;
    CountingTwain twain;
    SourceGlobals globals;
    AcquireDialog dialog(WindowMode::Full,
                         {clock, pump, notifier, view, twain, globals,
                          SettingsFile(dir + "/Q47Tw.ini"), "sim:" + dir + "/board.sock"});
    dialog.initialise();
    clock.runUntil([&] { return dialog.scan().standby; }, 60000);
    for (auto _ : state) {
        const int before = twain.ready;
        dialog.startPcScan();
        if (!clock.runUntil([&] { return twain.ready > before; }, 600000)) {
            state.SkipWithError("no image");
            break;
        }
        clock.runUntil([&] { return dialog.scan().standby; }, 60000);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH);
    dialog.destroy();
    simulator.stop();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_AcquireFromSimulator)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3);

// Keeps the median CPU time per iteration of each benchmark for the ratio lines (the
// machine may be shared: CPU time of this single-threaded work is the steadier measure).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median") continue;
            times[run.run_name.function_name] = run.GetAdjustedCPUTime();
            auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end()) rates[run.run_name.function_name] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times, rates;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    auto times = reporter.times;
    if (reporter.rates.count("BM_AcquireFromSimulator"))
        std::printf("acquisition from the simulator to a finished DIB: %.1f MB/s\n",
                    reporter.rates["BM_AcquireFromSimulator"] / 1e6);
    if (times["BM_CopyIntoFreshBlock"] > 0)
        std::printf("buildDib colour against a copy into a fresh block: %.2f\n",
                    times["BM_BuildDibColour"] / times["BM_CopyIntoFreshBlock"]);
    auto ratio = [&](const char* name, const char* bench) {
        const double copy = times["BM_MemcpySameBytes"];
        if (copy > 0 && times.count(bench))
            std::printf("ratio %s %.2f (target <= 3)\n", name, times[bench] / copy);
    };
    ratio("build_dib_colour_vs_memcpy", "BM_BuildDibColour");
    ratio("build_dib_compressed_vs_memcpy", "BM_BuildDibCompressed");
    return 0;
}

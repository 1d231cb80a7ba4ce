// Image reply throughput: the simulator's socket and channel against a plain socket copy.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <thread>

#include "board/packet.h"
#include "platform/device_channel.h"
#include "simulator/simulator.h"

namespace {

// The default board: 4096 scan lines of 2000 pixels, 8,192,000 pixel bytes.
q47::sim::Config boardConfig() { return q47::sim::Config{}; }
constexpr size_t kImageWire = 4096 + 4096 * 2000 + 2001 * 4 + 4 + 4;  // frames and headers

// PC side: ImageTransfer, then 4096-byte reads until the short one, as the data source
// reads an image.
void BM_ImageThroughSimulator(benchmark::State& state) {
    q47::sim::Simulator sim(boardConfig());
    const std::string path = "/tmp/q47-bench-" + std::to_string(getpid()) + ".sock";
    if (!sim.listen(path)) {
        state.SkipWithError("cannot listen");
        return;
    }
    auto ch = q47::openDeviceChannel("sim:" + path);
    if (!ch) {
        state.SkipWithError("cannot open");
        return;
    }
    const uint8_t request[5] = {1, 0, 0, 0, q47::board::ImageTransfer};
    std::vector<uint8_t> buf(4096);
    size_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        sim.setState(q47::board::StateTransImage);
        state.ResumeTiming();
        ch->write(request, sizeof request);
        long n;
        do {
            n = ch->read(buf.data(), buf.size());
            bytes += size_t(std::max(0L, n));
        } while (n == 4096);
    }
    state.SetBytesProcessed(int64_t(bytes));
}

// The same number of bytes through a socket pair: one thread writes the framed image in
// one go, the reader takes 4096-byte reads.
void BM_PlainSocketCopy(benchmark::State& state) {
    std::vector<uint8_t> wire(kImageWire, 0x5A);
    std::vector<uint8_t> buf(4096);
    for (auto _ : state) {
        int sv[2];
        socketpair(AF_UNIX, SOCK_STREAM, 0, sv);
        std::thread writer([&] {
            size_t at = 0;
            while (at < wire.size()) {
                ssize_t k = write(sv[0], wire.data() + at, wire.size() - at);
                if (k <= 0) break;
                at += size_t(k);
            }
            close(sv[0]);
        });
        size_t got = 0;
        while (got < wire.size()) {
            ssize_t k = read(sv[1], buf.data(), buf.size());
            if (k <= 0) break;
            got += size_t(k);
        }
        writer.join();
        close(sv[1]);
    }
    state.SetBytesProcessed(int64_t(state.iterations() * kImageWire));
}

BENCHMARK(BM_ImageThroughSimulator)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainSocketCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

// Keeps each benchmark's real time per iteration for the ratio line.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                perImage[r.benchmark_name()] = r.real_accumulated_time / double(r.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> perImage;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double sim = reporter.perImage["BM_ImageThroughSimulator/real_time"];
    const double plain = reporter.perImage["BM_PlainSocketCopy/real_time"];
    if (sim > 0 && plain > 0)
        std::printf("ratio simulator_image_transfer %.2f (target <= 3)\n", sim / plain);
    benchmark::Shutdown();
    return 0;
}

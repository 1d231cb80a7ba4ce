// Speed of the test image path: run-length decoding and the transposed one-bit bitmap of the
// board's 2160 x 188-byte picture, each against a plain copy of as many bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "simulator/board.h"
#include "utility/test_image.h"

using namespace q47;
using namespace q47::utility;

namespace {

constexpr uint16_t kLines = sim::Board::kTestLineCount, kBytes = sim::Board::kTestLineBytes;

const std::vector<uint8_t>& picture() {
    static const std::vector<uint8_t> p = sim::Board::testPicture();
    return p;
}
const std::vector<uint8_t>& coded() {
    static const std::vector<uint8_t> c = sim::encodeTestImage(picture(), kLines, kBytes);
    return c;
}

void BM_DecodeRunLength(benchmark::State& state) {
    std::vector<uint8_t> out(size_t(kLines) * kBytes);
    for (auto _ : state) {
        std::memset(out.data(), 0, out.size());
        benchmark::DoNotOptimize(
            decodeRunLength(coded().data(), coded().size(), kLines, kBytes, out.data()));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
}

void BM_BuildBitmap(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(buildTestImageBitmap(picture(), kLines, kBytes));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(picture().size()));
}

// The floor: copying the picture's bytes once.
void BM_PlainCopy(benchmark::State& state) {
    std::vector<uint8_t> out(picture().size());
    for (auto _ : state) {
        std::memcpy(out.data(), picture().data(), out.size());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
}

}  // namespace

BENCHMARK(BM_DecodeRunLength);
BENCHMARK(BM_BuildBitmap);
BENCHMARK(BM_PlainCopy);
BENCHMARK_MAIN();

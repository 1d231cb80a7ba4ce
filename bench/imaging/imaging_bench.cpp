// Speed of the per-scan imaging paths against plain baselines; ends with the ratio lines.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "imaging/engine/codecs/codec.h"
#include "imaging/engine/file/replacement_file.h"
#include "imaging/engine/kernels/convert.h"
#include "imaging/engine/kernels/filter.h"
#include "imaging/engine/kernels/resize.h"

using namespace q47::ik;

namespace {

// The board's sheet: 4096 x 2000, 8 bits with a grey table; a screen-sized colour picture.
const DibImage& sheet() {
    static DibImage img = [] {
        DibImage s = DibImage::create(4096, 2000, 8);
        s.setGreyPalette();
        for (int y = 0; y < 2000; ++y)
            for (int x = 0; x < 4096; ++x) s.row(y)[x] = static_cast<uint8_t>((x * 7 + y * 3) ^ (x >> 4));
        return s;
    }();
    return img;
}

const DibImage& picture() {
    static DibImage img = [] {
        DibImage p = DibImage::create(2048, 1000, 24);
        for (int y = 0; y < 1000; ++y)
            for (int x = 0; x < 2048; ++x) {
                uint8_t* q = p.row(y) + 3 * x;
                q[0] = static_cast<uint8_t>(x / 8 + y / 4), q[1] = static_cast<uint8_t>(y / 4), q[2] = static_cast<uint8_t>(x / 8);
            }
        return p;
    }();
    return img;
}

std::string tempFile(const char* name) { return (std::filesystem::temp_directory_path() / name).string(); }

void copyBaseline(benchmark::State& state, size_t bytes) {
    std::vector<uint8_t> from(bytes, 1), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

void BM_Convert8To24(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(convertTo24(sheet()).bits());
}
void BM_CopyOf24BitSheet(benchmark::State& state) { copyBaseline(state, q47::dib::rowStride(4096, 24) * 2000); }

void BM_Halve24(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(halve(picture()).bits());
}
void BM_CopyOfHalvedPicture(benchmark::State& state) { copyBaseline(state, q47::dib::rowStride(1024, 24) * 500); }
// Halving reads four source bytes for every byte it writes, so its floor is reading the
// source once, not copying the (quarter-size) result: a copy of the source is the second
// yardstick. The quarter-size copies run from the cache (1.5 and 6 MB), while halving
// must stream the whole source (6 MB; 24 MB for the sheet, which with its output no
// longer stays in the last-level cache between runs), so against them the vector loop
// stays at about 5x and 14x even while it reads its source about as fast as a copy does.
void BM_CopyOfPicture(benchmark::State& state) { copyBaseline(state, q47::dib::rowStride(2048, 24) * 1000); }

void BM_HalveSheet24(benchmark::State& state) {
    static const DibImage colour = convertTo24(sheet());
    for (auto _ : state) benchmark::DoNotOptimize(halve(colour).bits());
}
void BM_CopyOfHalvedSheet(benchmark::State& state) { copyBaseline(state, q47::dib::rowStride(2048, 24) * 1000); }

// The capture program's smoothing: a 9x9 matrix whose outer ring is zero.
void BM_CustomFilter9x9Ring(benchmark::State& state) {
    Convolution c;
    c.side = 9;
    c.weights.assign(81, 0);
    const int core[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k) c.weights[(r + 3) * 9 + k + 3] = core[r * 3 + k];
    c.divisor = 16;
    for (auto _ : state) benchmark::DoNotOptimize(convolve(picture(), c).bits());
}

// The same matrix scaled by 20 000 000 (weights as a settings file may hold them): its
// sums leave 32 bits and take the 64-bit loop.
void BM_CustomFilterHugeWeights(benchmark::State& state) {
    Convolution c;
    c.side = 3;
    const int core[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
    for (int v : core) c.weights.push_back(v * 20000000);
    c.divisor = 32000;
    for (auto _ : state) benchmark::DoNotOptimize(convolve(picture(), c).bits());
}

// What one would write by hand: a 3x3 loop with clamped edges, straight into the output.
void BM_Direct3x3Loop(benchmark::State& state) {
    const DibImage& src = picture();
    const int k[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
    for (auto _ : state) {
        DibImage dst = DibImage::create(src.width(), src.height(), 24);
        const int w = src.width(), h = src.height();
        for (int y = 0; y < h; ++y) {
            const uint8_t* rows[3] = {src.row(y > 0 ? y - 1 : 0), src.row(y), src.row(y < h - 1 ? y + 1 : h - 1)};
            uint8_t* out = dst.row(y);
            for (int x = 0; x < w; ++x) {
                const int xs[3] = {x > 0 ? x - 1 : 0, x, x < w - 1 ? x + 1 : w - 1};
                for (int c = 0; c < 3; ++c) {
                    int sum = 0;
                    for (int r = 0; r < 3; ++r)
                        for (int q = 0; q < 3; ++q) sum += k[r * 3 + q] * rows[r][3 * xs[q] + c];
                    const int v = sum / 16;
                    out[3 * x + c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
                }
            }
        }
        benchmark::DoNotOptimize(dst.bits());
    }
}

void BM_JpegSaveEngine(benchmark::State& state) {
    SaveOptions o;
    o.quality = 75;
    const std::string f = tempFile("q47_bench_engine.jpg");
    for (auto _ : state) benchmark::DoNotOptimize(encodeJpeg(f, picture(), o, nullptr));
}

// The engine's save as the file entries run it: into a temporary file, flushed to disk
// and renamed over the target.
void BM_JpegSaveReplacing(benchmark::State& state) {
    SaveOptions o;
    o.quality = 75;
    const std::string f = tempFile("q47_bench_replacing.jpg");
    for (auto _ : state) {
        ReplacementFile out(f, false);
        benchmark::DoNotOptimize(encodeJpeg(out.path(), picture(), o, nullptr));
        benchmark::DoNotOptimize(out.commit());
    }
}

void BM_JpegSaveDirect(benchmark::State& state) {
    const DibImage& img = picture();
    const std::string f = tempFile("q47_bench_direct.jpg");
    for (auto _ : state) {
        FILE* out = std::fopen(f.c_str(), "wb");
        jpeg_compress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        jpeg_stdio_dest(&cinfo, out);
        cinfo.image_width = static_cast<JDIMENSION>(img.width());
        cinfo.image_height = static_cast<JDIMENSION>(img.height());
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 75, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            JSAMPROW row = const_cast<uint8_t*>(img.row(static_cast<int>(cinfo.next_scanline)));
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        std::fclose(out);
    }
}

void BM_PngSaveEngine(benchmark::State& state) {
    const std::string f = tempFile("q47_bench_engine.png");
    for (auto _ : state) benchmark::DoNotOptimize(encodePng(f, picture(), SaveOptions{}, nullptr));
}

void BM_PngSaveDirect(benchmark::State& state) {
    const DibImage& img = picture();
    const std::string f = tempFile("q47_bench_direct.png");
    for (auto _ : state) {
        FILE* out = std::fopen(f.c_str(), "wb");
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_init_io(png, out);
        png_set_IHDR(png, info, static_cast<png_uint_32>(img.width()), static_cast<png_uint_32>(img.height()), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        png_set_bgr(png);
        for (int y = 0; y < img.height(); ++y) png_write_row(png, img.row(y));
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
        std::fclose(out);
    }
}

BENCHMARK(BM_Convert8To24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyOf24BitSheet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Halve24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyOfHalvedPicture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyOfPicture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HalveSheet24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyOfHalvedSheet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CustomFilter9x9Ring)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CustomFilterHugeWeights)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Direct3x3Loop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegSaveEngine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegSaveReplacing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegSaveDirect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngSaveEngine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngSaveDirect)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's CPU time per iteration for the ratio lines (the machine is
// shared, so wall time carries other programs' load): the median of the repetitions when
// the run has them (--benchmark_repetitions), else the single run.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const std::string name = r.run_name.function_name;
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
                seconds[name] = r.GetAdjustedCPUTime();
                medians_.insert(name);
            } else if (r.run_type == Run::RT_Iteration && r.iterations > 0 && !medians_.count(name)) {
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
    benchmark::Initialize(&argc, argv);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ratio = [&](const char* name, const char* a, const char* b, double goal) {
        const auto ia = reporter.seconds.find(a), ib = reporter.seconds.find(b);
        if (ia == reporter.seconds.end() || ib == reporter.seconds.end() || ib->second <= 0) return;
        std::printf("ratio %s %.2f (target <= %.1f)\n", name, ia->second / ib->second, goal);
    };
    ratio("convert_8_to_24_vs_copy", "BM_Convert8To24", "BM_CopyOf24BitSheet", 3.0);
    ratio("halve_24_picture_vs_copy", "BM_Halve24", "BM_CopyOfHalvedPicture", 3.0);
    ratio("halve_24_sheet_vs_copy", "BM_HalveSheet24", "BM_CopyOfHalvedSheet", 3.0);
    ratio("halve_24_picture_vs_copy_of_source", "BM_Halve24", "BM_CopyOfPicture", 3.0);
    ratio("halve_24_sheet_vs_copy_of_source", "BM_HalveSheet24", "BM_CopyOf24BitSheet", 3.0);
    ratio("custom_filter_9x9_ring_vs_direct_3x3", "BM_CustomFilter9x9Ring", "BM_Direct3x3Loop", 1.5);
    ratio("custom_filter_64bit_sums_vs_direct_3x3", "BM_CustomFilterHugeWeights", "BM_Direct3x3Loop", 2.0);
    ratio("jpeg_save_vs_libjpeg", "BM_JpegSaveEngine", "BM_JpegSaveDirect", 1.2);
    ratio("jpeg_save_replacing_vs_libjpeg", "BM_JpegSaveReplacing", "BM_JpegSaveDirect", 1.3);
    ratio("png_save_vs_libpng", "BM_PngSaveEngine", "BM_PngSaveDirect", 1.2);
    return 0;
}

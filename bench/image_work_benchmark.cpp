// The tool's work on one image in memory, each step beside memcpy of the same bytes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "testing/images.h"
#include "transfer/image_file.h"
#include "transfer/image_rules.h"
#include "transfer/slot_layout.h"

namespace {

using testing_support::sector_dump;
using testing_support::track_dump_of;

void copy_baseline(benchmark::State& state, size_t bytes) {
    std::vector<uint8_t> from(bytes, 1);
    std::vector<uint8_t> to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void memcpy_image(benchmark::State& state) {
    copy_baseline(state, IMAGE_BYTES);
}
void memcpy_slot(benchmark::State& state) {
    copy_baseline(state, SLOT_BYTES);
}

void load_image(benchmark::State& state) {
    const std::string path = "/tmp/slotpush_bench_" + std::to_string(getpid()) + ".dsk";
    const std::vector<uint8_t> dump = sector_dump(1600, IMAGE_BYTES);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(dump.data(), 1, dump.size(), file);
    std::fclose(file);
    for (auto _ : state) {
        LoadedFile loaded;
        benchmark::DoNotOptimize(load_file(path.c_str(), IMAGE_BYTES, loaded));
        benchmark::DoNotOptimize(loaded.bytes.get());
    }
    std::remove(path.c_str());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * IMAGE_BYTES));
}

void convert(benchmark::State& state) {
    std::vector<uint8_t> dump = track_dump_of(sector_dump(720, 184320));
    dump.resize(IMAGE_BYTES, FILL_BYTE);
    for (auto _ : state) {
        Buffer image = convert_track_dump(ConstImageView{dump.data(), IMAGE_BYTES});
        benchmark::DoNotOptimize(image.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * IMAGE_BYTES));
}

void widen(benchmark::State& state) {
    std::vector<uint8_t> image = sector_dump(360, IMAGE_BYTES);
    for (auto _ : state) {
        image[10] = 0x01;  // 360 sectors again, so that every pass does the whole work
        image[11] = 0x68;
        widen_to_1600_sectors(ImageView{image.data(), IMAGE_BYTES}.first<IMAGE_SECTOR_BYTES>());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * IMAGE_SECTOR_BYTES));
}

void interleave_slot(benchmark::State& state) {
    const std::vector<uint8_t> image = sector_dump(1600, IMAGE_BYTES);
    std::vector<uint8_t> raw(SLOT_BYTES);
    for (auto _ : state) {
        interleave(image, raw);
        benchmark::DoNotOptimize(raw.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * SLOT_BYTES));
}

void deinterleave_slot(benchmark::State& state) {
    const std::vector<uint8_t> raw(SLOT_BYTES, 7);
    std::vector<uint8_t> image(IMAGE_BYTES);
    for (auto _ : state) {
        deinterleave(raw, image);
        benchmark::DoNotOptimize(image.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * SLOT_BYTES));
}

}  // namespace

BENCHMARK(memcpy_image);
BENCHMARK(load_image);
BENCHMARK(convert);
BENCHMARK(widen);
BENCHMARK(memcpy_slot);
BENCHMARK(interleave_slot);
BENCHMARK(deinterleave_slot);
namespace {

// Keeps each benchmark's throughput so that the targets can be checked after the run.
class ThroughputReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto found = run.counters.find("bytes_per_second");
            if (found != run.counters.end()) throughput[run.benchmark_name()] = found->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> throughput;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    ThroughputReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    // Target: the interleave and the de-interleave run at a third of memcpy's speed or better.
    int missed = 0;
    for (const char* name : {"interleave_slot", "deinterleave_slot"}) {
        if (!reporter.throughput.count(name) || !reporter.throughput.count("memcpy_slot")) continue;
        const double share = reporter.throughput[name] / reporter.throughput["memcpy_slot"];
        std::printf("%s: %.2f of memcpy's throughput (target: at least 0.33)%s\n", name, share,
                    share >= 1.0 / 3 ? "" : "  TARGET MISSED");
        missed += share >= 1.0 / 3 ? 0 : 1;
    }
    return missed;
}

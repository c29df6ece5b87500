// Block codec benchmark: decode speed of Unpack against zlib's inflate and
// memcpy, compressed sizes of our two levels against zlib -9, bzip2 -9 and
// xz -9, and the speed of both levels, on a corpus built from files every
// Debian system has plus two generated ones, with zlib -1 and xz -9 timed
// beside the two levels for reference. After the usual benchmark
// output it prints one table with everything side by side.
//
//   bench_codec [--write-blocks DIR] [benchmark options]
//
// --write-blocks stores each corpus file's best-level block in DIR (for the
// Win32 timing under Wine, bench/wine_unpack.sh). On a shared machine,
// --benchmark_repetitions=3 --benchmark_enable_random_interleaving=true
// runs everything three times, interleaved, and the table keeps the best.

#include "archive/codec.h"
#include "builder/compress.h"

#include <benchmark/benchmark.h>
#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

// The shell and the C library: machine code, tables and strings.
Bytes Executables()
{
    Bytes out = ReadFile("/bin/bash");
    for (const char* dir : {"/lib/x86_64-linux-gnu", "/lib/aarch64-linux-gnu", "/lib/i386-linux-gnu", "/lib"}) {
        std::filesystem::path libc = std::filesystem::path(dir) / "libc.so.6";
        if (std::filesystem::exists(libc)) {
            Append(out, ReadFile(libc));
            break;
        }
    }
    return out;
}

// Plain text: the package database, the licence texts and the packages'
// file lists, up to 8 MB.
Bytes Text()
{
    const size_t limit = 8u << 20;
    Bytes out = ReadFile("/var/lib/dpkg/status");
    std::vector<std::filesystem::path> files;
    for (const char* dir : {"/usr/share/common-licenses", "/var/lib/dpkg/info"})
        for (const auto& e : std::filesystem::directory_iterator(dir))
            if (e.is_regular_file())
                files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
        std::string ext = f.extension().string();
        if (f.parent_path() == "/usr/share/common-licenses" || ext == ".list" || ext == ".md5sums")
            Append(out, ReadFile(f));
        if (out.size() >= limit)
            break;
    }
    out.resize(std::min(out.size(), limit));
    return out;
}

// A 1024x768 8-bit picture of flat rectangles, a banded gradient and a few
// noisy speckles, as installer backgrounds look: long runs, repeated rows.
Bytes Bitmap()
{
    const int w = 1024, h = 768;
    Bytes px((size_t)w * h);
    std::mt19937 rng(42);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            px[(size_t)y * w + x] = (uint8_t)(y * 32 / h);          // banded gradient
    for (int i = 0; i < 40; i++) {
        int x0 = (int)(rng() % w), y0 = (int)(rng() % h);
        int x1 = std::min(w, x0 + 20 + (int)(rng() % 300)), y1 = std::min(h, y0 + 10 + (int)(rng() % 200));
        uint8_t c = (uint8_t)rng();
        for (int y = y0; y < y1; y++)
            memset(&px[(size_t)y * w + x0], c, (size_t)(x1 - x0));
    }
    for (int i = 0; i < 3000; i++)
        px[rng() % px.size()] = (uint8_t)rng();
    return px;
}

Bytes Incompressible()
{
    std::mt19937_64 rng(7);
    Bytes out(4u << 20);
    for (size_t i = 0; i < out.size(); i += 8) {
        uint64_t v = rng();
        memcpy(&out[i], &v, 8);
    }
    return out;
}

struct CorpusFile {
    std::string name;
    Bytes raw;
    Bytes fast, best;       // our blocks
    Bytes zlib9;            // zlib stream at level 9
    size_t bzip9 = 0, xz9 = 0;
};

std::vector<CorpusFile>& Corpus()
{
    static std::vector<CorpusFile> corpus;
    return corpus;
}

Bytes Zlib9(const Bytes& raw)
{
    uLongf size = compressBound(raw.size());
    Bytes out(size);
    if (compress2(out.data(), &size, raw.data(), raw.size(), 9) != Z_OK)
        abort();
    out.resize(size);
    return out;
}

size_t Bzip9(const Bytes& raw)
{
    unsigned int size = (unsigned int)(raw.size() + raw.size() / 100 + 600);
    Bytes out(size);
    if (BZ2_bzBuffToBuffCompress((char*)out.data(), &size, (char*)raw.data(), (unsigned)raw.size(), 9, 0, 0) != BZ_OK)
        abort();
    return size;
}

size_t Xz9(const Bytes& raw)
{
    Bytes out(lzma_stream_buffer_bound(raw.size()));
    size_t pos = 0;
    if (lzma_easy_buffer_encode(9, LZMA_CHECK_CRC32, nullptr, raw.data(), raw.size(), out.data(), &pos,
                                out.size()) != LZMA_OK)
        abort();
    return pos;
}

void BuildCorpus()
{
    struct Source {
        const char* name;
        Bytes (*make)();
    };
    for (Source s : {Source{"executables", Executables}, Source{"text", Text}, Source{"bitmap", Bitmap},
                     Source{"random", Incompressible}}) {
        CorpusFile f;
        f.name = s.name;
        f.raw = s.make();
        f.fast = Pack(f.raw, PackLevel::Fast);
        f.best = Pack(f.raw, PackLevel::Best);
        f.zlib9 = Zlib9(f.raw);
        f.bzip9 = Bzip9(f.raw);
        f.xz9 = Xz9(f.raw);
        Corpus().push_back(std::move(f));
    }
}

void UnpackBlock(benchmark::State& state, const CorpusFile& f)
{
    uint8_t* block = (uint8_t*)malloc(f.best.size());
    memcpy(block, f.best.data(), f.best.size());
    for (auto _ : state) {
        uint8_t* data = block;
        int32_t size = (int32_t)f.best.size();
        if (!Unpack(data, size))
            state.SkipWithError("Unpack failed");
        benchmark::DoNotOptimize(data);
        free(data);
    }
    free(block);
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)f.raw.size());
}

void InflateBlock(benchmark::State& state, const CorpusFile& f)
{
    for (auto _ : state) {
        // The same allocation pattern as Unpack: one output buffer per call.
        uint8_t* out = (uint8_t*)malloc(f.raw.size() + 1);
        uLongf size = f.raw.size();
        if (uncompress(out, &size, f.zlib9.data(), f.zlib9.size()) != Z_OK)
            state.SkipWithError("inflate failed");
        benchmark::DoNotOptimize(out);
        free(out);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)f.raw.size());
}

void Memcpy(benchmark::State& state, const CorpusFile& f)
{
    for (auto _ : state) {
        uint8_t* out = (uint8_t*)malloc(f.raw.size() + 1);
        memcpy(out, f.raw.data(), f.raw.size());
        benchmark::DoNotOptimize(out);
        free(out);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)f.raw.size());
}

void PackLevelBench(benchmark::State& state, const CorpusFile& f, PackLevel level)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(Pack(f.raw, level));
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)f.raw.size());
}

// Reference speeds for the two levels, timed in the same run: zlib at level
// 1 (a fast compressor) and xz at level 9 (a thorough one).
void ZlibLevel1(benchmark::State& state, const CorpusFile& f)
{
    Bytes out(compressBound(f.raw.size()));
    for (auto _ : state) {
        uLongf size = out.size();
        if (compress2(out.data(), &size, f.raw.data(), f.raw.size(), 1) != Z_OK)
            state.SkipWithError("deflate failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)f.raw.size());
}

void XzLevel9(benchmark::State& state, const CorpusFile& f)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(Xz9(f.raw));
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)f.raw.size());
}

// Keeps each benchmark's throughput for the summary table: with
// --benchmark_repetitions=N the best of the N runs, as a shared machine
// mostly slows a run down rather than speeding it up.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            auto it = r.counters.find("bytes_per_second");
            if (r.run_type == Run::RT_Iteration && it != r.counters.end()) {
                double& kept = speed[r.run_name.function_name];
                kept = std::max(kept, it->second.value / 1e6);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> speed;    // MB/s by benchmark name
};

void PrintSummary(const SummaryReporter& reporter)
{
    auto mbs = [&](const std::string& name) {
        auto it = reporter.speed.find(name);
        return it == reporter.speed.end() ? 0.0 : it->second;
    };
    printf("\n| corpus file | size | Unpack MB/s | inflate MB/s | memcpy MB/s | Unpack / inflate "
           "| fast | best | zlib -9 | bzip2 -9 | xz -9 | pack fast MB/s | zlib -1 MB/s "
           "| pack best MB/s | xz -9 MB/s |\n");
    printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const CorpusFile& f : Corpus()) {
        double raw = (double)f.raw.size();
        auto pct = [&](size_t n) { return 100.0 * (double)n / raw; };
        double unpack = mbs("Unpack/" + f.name), inflate = mbs("Inflate/" + f.name);
        printf("| %s | %zu | %.0f | %.0f | %.0f | %.2fx | %.1f%% | %.1f%% | %.1f%% | %.1f%% | %.1f%% "
               "| %.1f | %.1f | %.1f | %.1f |\n",
               f.name.c_str(), f.raw.size(), unpack, inflate, mbs("Memcpy/" + f.name),
               inflate > 0 ? unpack / inflate : 0.0, pct(f.fast.size()), pct(f.best.size()),
               pct(f.zlib9.size()), pct(f.bzip9), pct(f.xz9), mbs("PackFast/" + f.name),
               mbs("Zlib1/" + f.name), mbs("PackBest/" + f.name), mbs("Xz9/" + f.name));
    }
    printf("(sizes are compressed size / original size)\n");
}

void WriteBlocks(const std::string& dir)
{
    std::filesystem::create_directories(dir);
    for (const CorpusFile& f : Corpus()) {
        std::ofstream out(std::filesystem::path(dir) / (f.name + ".blk"), std::ios::binary);
        out.write((const char*)f.best.data(), (std::streamsize)f.best.size());
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::string blockDir;
    std::vector<char*> args;
    for (int i = 0; i < argc; i++) {
        if (strcmp(argv[i], "--write-blocks") == 0 && i + 1 < argc)
            blockDir = argv[++i];
        else
            args.push_back(argv[i]);
    }
    int count = (int)args.size();
    benchmark::Initialize(&count, args.data());

    BuildCorpus();
    if (!blockDir.empty())
        WriteBlocks(blockDir);
    for (const CorpusFile& f : Corpus()) {
        benchmark::RegisterBenchmark(("Unpack/" + f.name).c_str(), UnpackBlock, f);
        benchmark::RegisterBenchmark(("Inflate/" + f.name).c_str(), InflateBlock, f);
        benchmark::RegisterBenchmark(("Memcpy/" + f.name).c_str(), Memcpy, f);
        benchmark::RegisterBenchmark(("PackFast/" + f.name).c_str(), PackLevelBench, f, PackLevel::Fast)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Zlib1/" + f.name).c_str(), ZlibLevel1, f)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("PackBest/" + f.name).c_str(), PackLevelBench, f, PackLevel::Best)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
        benchmark::RegisterBenchmark(("Xz9/" + f.name).c_str(), XzLevel9, f)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    }
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintSummary(reporter);
    benchmark::Shutdown();
    return 0;
}

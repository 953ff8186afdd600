// Micro-benchmarks of the pieces a full scan spends its time in: the record
// checksum, the engine's read path (straight and through its entry point,
// for several stretch sizes) and the /C histogram. The histogram's has,
// beside the program's code, a sketch of the change the measurements
// suggest, so the expected gain is a measured figure, not a guess.
//
//   build/native/bin/recmeter_microbench [--benchmark_filter=REGEX]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "cli/run_options.h"
#include "console/keyboard.h"
#include "console/output.h"
#include "crc32c.h"
#include "crc32c_forms.h"
#include "data_file.h"
#include "engine/engine.h"
#include "engine/loader.h"
#include "localengine.h"
#include "report/totals.h"
#include "scan/scans.h"

namespace {

using localengine::DataFile;

constexpr uint32_t kMinLength = 20;
constexpr uint32_t kMaxLength = 2000;
constexpr uint32_t kCallerBuffer = 258048;  // what the program hands the engine

// Record lengths as the benchmark file has them: uniform in 20..2000.
std::vector<uint32_t> lengths(size_t count, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<uint32_t> pick(kMinLength, kMaxLength);
    std::vector<uint32_t> out(count);
    for (uint32_t& l : out) l = pick(rng);
    return out;
}

// ---- checksum ----------------------------------------------------------------

std::vector<unsigned char> someBytes(size_t n) {
    std::vector<unsigned char> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<unsigned char>('A' + i * 7 % 26);
    return v;
}

// The checksum over N bytes, as the engine takes it and in the portable
// form: alone, and copying the run out as the engine does when it reads a
// record.
template <uint32_t (*Crc)(uint32_t, void*, const void*, size_t), bool Copy>
void crcRun(benchmark::State& state) {
    const auto data = someBytes(static_cast<size_t>(state.range(0)));
    std::vector<unsigned char> out(Copy ? data.size() : 0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Crc(0, Copy ? out.data() : nullptr, data.data(), data.size()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Crc32c(benchmark::State& state) { crcRun<localengine::crc32cCopy, false>(state); }
void BM_Crc32cPortable(benchmark::State& state) { crcRun<localengine::crc32cPortableCopy, false>(state); }
void BM_Crc32cCopy(benchmark::State& state) { crcRun<localengine::crc32cCopy, true>(state); }
void BM_Crc32cPortableCopy(benchmark::State& state) { crcRun<localengine::crc32cPortableCopy, true>(state); }
BENCHMARK(BM_Crc32c)->Arg(64)->Arg(128)->Arg(256)->Arg(1024)->Arg(2000)->Arg(65536);
BENCHMARK(BM_Crc32cPortable)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Crc32cCopy)->Arg(64)->Arg(128)->Arg(256)->Arg(1024)->Arg(2000)->Arg(65536);
BENCHMARK(BM_Crc32cPortableCopy)->Arg(2000)->Arg(65536);

// ---- the engine's read path --------------------------------------------------

// One data file of 100,000 records (about 100 MB) shared by the scan
// benchmarks, made on first use in the temporary folder and removed at exit.
class ScanFile {
public:
    static const ScanFile& get() {
        static ScanFile file;
        return file;
    }
    const std::string& path() const { return path_; }
    uint64_t bytes() const { return bytes_; }
    size_t records() const { return records_; }
    ~ScanFile() { std::remove(path_.c_str()); }

private:
    ScanFile() {
        const char* tmp = std::getenv("TMPDIR");
        path_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/recmeter_microbench_" +
                std::to_string(static_cast<long>(getpid())) + ".dat";
        const auto lens = lengths(records_, 1);
        const auto bytes = someBytes(kMaxLength);
        DataFile f;
        if (DataFile::create(path_, "") != localengine::kOk || f.open(path_, "") != localengine::kOk) {
            std::fprintf(stderr, "recmeter_microbench: cannot make %s\n", path_.c_str());
            std::exit(1);
        }
        for (uint32_t l : lens) f.insert(bytes.data(), l);
        bytes_ = f.dataEnd();
        f.close();
    }
    std::string path_;
    size_t records_ = 100000;
    uint64_t bytes_ = 0;
};

void reportScan(benchmark::State& state, const ScanFile& file, size_t seen) {
    if (seen != file.records()) state.SkipWithError("the scan did not see every record");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * file.records()));
}

// Step First / Step Next on the engine's class, with the stretch size as the
// argument (the engine's default is kReadSize, 2 MiB).
void BM_ScanDataFile(benchmark::State& state) {
    const ScanFile& file = ScanFile::get();
    DataFile::Tuning tuning;
    tuning.stretchSize = static_cast<size_t>(state.range(0));
    std::vector<unsigned char> buffer(kCallerBuffer);
    size_t seen = 0;
    for (auto _ : state) {
        DataFile f(tuning);
        if (f.open(file.path(), "") != localengine::kOk) {
            state.SkipWithError("open failed");
            return;
        }
        uint32_t length = 0;
        seen = 0;
        for (int st = f.stepFirst(buffer.data(), kCallerBuffer, &length); st == localengine::kOk;
             st = f.stepNext(buffer.data(), kCallerBuffer, &length))
            ++seen;
    }
    reportScan(state, file, seen);
}
BENCHMARK(BM_ScanDataFile)->Arg(64 << 10)->Arg(128 << 10)->Arg(256 << 10)->Arg(512 << 10)->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond);

// The same scan as the program makes it: every request through the extended
// entry point, which adds the request bookkeeping to each record.
void BM_ScanThroughEntry(benchmark::State& state) {
    const ScanFile& file = ScanFile::get();
    std::vector<unsigned char> buffer(kCallerBuffer);
    std::vector<char> key(file.path().begin(), file.path().end());
    key.push_back('\0');
    unsigned char pos[localengine::kPosBlockSize];
    size_t seen = 0;
    for (auto _ : state) {
        uint32_t length = 0;
        if (BTRVEX(localengine::kOpOpen, pos, buffer.data(), &length, key.data(), 255, 0) != 0) {
            state.SkipWithError("open failed");
            return;
        }
        seen = 0;
        uint16_t op = localengine::kOpStepFirst;
        for (;;) {
            length = kCallerBuffer;
            if (BTRVEX(op, pos, buffer.data(), &length, key.data(), 255, 0) != 0) break;
            op = localengine::kOpStepNext;
            ++seen;
        }
        BTRVEX(localengine::kOpClose, pos, buffer.data(), &length, key.data(), 255, 0);
    }
    reportScan(state, file, seen);
}
BENCHMARK(BM_ScanThroughEntry)->Unit(benchmark::kMillisecond);

// ---- the /C histogram --------------------------------------------------------

constexpr size_t kHistogramRecords = 1000000;

const std::vector<uint32_t>& histogramSizes() {
    static const std::vector<uint32_t> sizes = lengths(kHistogramRecords, 2);
    return sizes;
}

// The program's own: a hash of pointers to list entries, and a tree to place
// each new size in the sorted list.
void BM_AddSizeEntry(benchmark::State& state) {
    const auto& sizes = histogramSizes();
    for (auto _ : state) {
        ClearSizeEntries();  // releases the last round's entries and index
        for (uint32_t s : sizes) AddSizeEntry(s, 0);
        benchmark::DoNotOptimize(sizeList);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * sizes.size()));
}
BENCHMARK(BM_AddSizeEntry)->Unit(benchmark::kMillisecond);

// The sketch: counts in a flat table indexed by size (every size the
// standard buffer can return), the sorted list made once, at the report.
void BM_FlatSizeCounts(benchmark::State& state) {
    const auto& sizes = histogramSizes();
    std::vector<uint32_t> counts(kCallerBuffer + 1);
    for (auto _ : state) {
        std::fill(counts.begin(), counts.end(), 0u);
        for (uint32_t s : sizes) ++counts[std::min(s, kCallerBuffer)];
        benchmark::DoNotOptimize(counts.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * sizes.size()));
}
BENCHMARK(BM_FlatSizeCounts)->Unit(benchmark::kMillisecond);

// ---- the program's own cost -------------------------------------------------

// The program's scan over an engine that costs nothing: every Step answers
// at once with the next length of the histogram's records, copying no
// bytes, so what is timed is the program alone (the request block, the
// status policy, the scan's loop, the histogram or the size lines).
const std::vector<uint32_t>* scriptedSizes;
size_t scriptedNext;

void BM_ProgramScan(benchmark::State& state) {
    const bool countSizes = state.range(0) != 0;
    scriptedSizes = &histogramSizes();
    // The size lines and the spinner go to /dev/null while timed.
    std::fflush(stdout);
    const int savedOutput = dup(1);
    const int savedError = dup(2);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    for (auto _ : state) {
        runOptions = RunOptions{};
        runOptions.countSizes = countSizes ? 1 : 0;
        runTotals = RunTotals{};
        ClearSizeEntries();
        extendedMode = 1;
        fileTable[DATA_FILE].keyBuf = keyScratch;
        scriptedNext = 0;
        ScanRecordSizes();
        FlushStandardOutput();
    }
    dup2(savedOutput, 1);
    dup2(savedError, 2);
    close(savedOutput);
    close(savedError);
    close(null);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * scriptedSizes->size()));
}
BENCHMARK(BM_ProgramScan)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

// The engine and the console as the program's logic calls them here: the
// scripted engine of BM_ProgramScan, and a keyboard on which no key waits.

int EngineExtendedCall(uint16_t, void*, void*, uint32_t* dataLen, void*, uint8_t, int8_t) {
    if (scriptedNext >= scriptedSizes->size()) return STATUS_END_OF_FILE;
    *dataLen = (*scriptedSizes)[scriptedNext++];
    return STATUS_OK;
}
int16_t EngineStandardCall(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen, void* keyBuf,
                           uint8_t keyLen, int8_t keyNum) {
    return static_cast<int16_t>(EngineExtendedCall(op, posBlock, dataBuf, dataLen, keyBuf, keyLen, keyNum));
}
void ConsoleKeysBegin() {}
void ConsoleKeysEnd() {}
uint32_t ConsoleMilliseconds() { return 0; }
bool ConsoleKeyPending() { return false; }
int ConsoleReadKey() { return -1; }

BENCHMARK_MAIN();

// How the detection's cost grows with the number of candidates: entries are filled in
// directly (mostly distinct sizes, about 1% sharing a size, none readable), so only the
// pairing and the progress bookkeeping are timed. Beside it, the plain n x n loop's
// per-step cost, measured at small n and projected.
#include <windows.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

#include "engine/FirstFileCompare_CL.h"

namespace {

using Clock = std::chrono::steady_clock;

class SilentScanner : public FirstFileCompare_CL {
public:
    SilentScanner() { SetEndPause(0); }
    void OnProgress(int) override { ++reports; }
    long reports = 0;
};

void Fill(std::vector<CompareFileEntry>& files, size_t n, uint32_t seed)
{
    std::mt19937_64 random(seed);
    files.clear();
    files.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        CompareFileEntry entry;
        entry.path = L"Q:\\missing\\f" + std::to_wstring(i) + L".avi";
        entry.size = (random() % 100 == 0 && i > 0) ? files[random() % i].size : (random() >> 8) + 1;
        files.push_back(std::move(entry));
    }
}

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The plain loop's inner step: a flag test, a size test, a progress division.
double PlainLoopSeconds(const std::vector<CompareFileEntry>& files)
{
    size_t n = files.size();
    uint64_t total = uint64_t(n) * n, done = 0;
    volatile int last = 0;
    auto start = Clock::now();
    for (size_t b = 0; b < n; ++b)
        for (size_t c = 0; c < n; ++c) {
            if (files[c].isGrouped == 0 && files[c].size == files[b].size && c != b) last = last + 1;
            int p = static_cast<int>(++done * 1000 / total);
            if (p != last) last = p;
        }
    return SecondsSince(start);
}

}  // namespace

int wmain()
{
    std::vector<CompareFileEntry> probe;
    Fill(probe, 4000, 1);
    double plainPerStep = PlainLoopSeconds(probe) / (4000.0 * 4000.0);

    std::printf("%10s %12s %18s %22s %12s\n", "n", "seconds", "ns per n*log2(n)", "plain n*n (projected)", "ratio");
    for (size_t n : {62500u, 125000u, 250000u, 500000u, 1000000u}) {
        SilentScanner scanner;
        Fill(scanner.Files(), n, 7);
        auto start = Clock::now();
        scanner.FindDuplicates(nullptr);
        double seconds = SecondsSince(start);
        double perNLogN = seconds * 1e9 / (n * std::log2(double(n)));
        double plain = plainPerStep * double(n) * double(n);
        std::printf("%10zu %12.3f %18.2f %20.0f s %11.0fx\n", n, seconds, perNLogN, plain, plain / seconds);
    }
    std::printf("A flat 'ns per n*log2(n)' column means n log n growth; the plain loop grows with n*n.\n");
    return 0;
}

// Time to group 10,000 movie fingerprints into similar groups: synthetic fingerprints (scenes
// of 3 to 10 s, each one picture), a tenth of them re-encoded or trimmed copies of another.
// Two libraries: lengths spread from 20 s to 2 h, and the crowded case of every movie between
// 20 s and 2 min, where each is within the length window of a sixth of the others.
// Usage: bench-similar-matching [COUNT]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

#include "engine/SimilarMatcher_CL.h"

namespace {

constexpr int64_t kSecond = SimilarMatcher_CL::kSecond;

// The machine is shared: the CPU time of this thread says more than the clock.
double ThreadSeconds()
{
    FILETIME created, ended, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &ended, &kernel, &user);
    return ((uint64_t(kernel.dwHighDateTime) << 32 | kernel.dwLowDateTime) +
            (uint64_t(user.dwHighDateTime) << 32 | user.dwLowDateTime)) / 1e7;
}

MovieFingerprint Fingerprint(uint64_t seed, int64_t length, int64_t cut, int noise)
{
    std::mt19937_64 scenes(seed), random(seed ^ length ^ cut ^ noise);
    std::vector<std::pair<int64_t, uint64_t>> pictures;
    for (int64_t at = 0; at < length; at += (3 + scenes() % 8) * kSecond) pictures.push_back({at, scenes() >> 1});
    MovieFingerprint print;
    print.isDecodable = true;
    print.duration = length - cut;
    print.width = 1280;
    print.height = 720;
    for (int64_t time : MovieFingerprint::SampleTimes(print.duration)) {
        auto scene = std::upper_bound(pictures.begin(), pictures.end(), std::make_pair(time + cut, UINT64_MAX)) - 1;
        uint64_t hash = scene->second;
        for (int bit = 0; bit < noise; ++bit) hash ^= uint64_t(1) << (random() % 63);
        print.frames.push_back({time, hash, false});
    }
    return print;
}

void Run(const char* name, size_t count, int64_t shortest, int64_t longest)
{
    std::mt19937_64 random(20261207);
    std::vector<MovieFingerprint> prints;
    std::vector<uint64_t> seeds;
    std::vector<int64_t> lengths;
    const double spread = std::log(double(longest) / shortest);
    for (size_t i = 0; i < count; ++i) {
        if (i % 10 == 9) {  // a copy of an earlier movie: re-encoded, or cut by up to 3 s at the start
            const size_t of = random() % seeds.size();
            prints.push_back(Fingerprint(seeds[of], lengths[of], int64_t(random() % 3000) * kSecond / 1000, 5));
            continue;
        }
        seeds.push_back(random());
        lengths.push_back(int64_t(shortest * std::exp(spread * (random() % 10000) / 10000.0)) * kSecond);
        prints.push_back(Fingerprint(seeds.back(), lengths.back(), 0, 0));
    }
    std::vector<CompareFileEntry> files(count);
    std::vector<SimilarMatcher_CL::Candidate> candidates;
    for (size_t i = 0; i < count; ++i) candidates.push_back({&files[i], &prints[i]});

    const double cpuBefore = ThreadSeconds();
    const auto start = std::chrono::steady_clock::now();
    const auto groups = SimilarMatcher_CL::FindGroups(candidates, {}, SimilarMatcher_CL::kDefaultThreshold);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = ThreadSeconds() - cpuBefore;
    size_t grouped = 0;
    for (const auto& group : groups) grouped += group.files.size() - 1;
    std::printf("%-32s %6zu fingerprints  %6.2f s (CPU %5.2f s)  %4zu groups, %4zu of %zu copies\n", name, count,
                seconds, cpu, groups.size(), grouped, count / 10);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const size_t count = argc > 1 ? std::max(10, _wtoi(argv[1])) : 10000;
    std::printf("goal: under 2 s for 10,000 (copies: a tenth, re-encoded and cut by up to 3 s at the start)\n");
    Run("lengths 20 s to 2 h", count, 20, 7200);
    Run("crowded: lengths 20 s to 2 min", count, 20, 120);
    return 0;
}

#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <vector>

#include "engine/DuplicateGroup.h"
#include "engine/FingerprintCache_CL.h"
#include "engine/MovieFingerprint.h"
#include "engine/SimilarGroup.h"

// The similar-movie part of a search, after the exact groups are known: a fingerprint for
// every movie (from the cache, else decoded on worker threads of its own), then the
// similar groups. Movies that cannot be decoded are counted and left out.
class SimilarMovieSearch_CL {
public:
    static constexpr int kWorkers = 2;

    struct Outcome {
        std::vector<SimilarGroup> groups;
        int movies = 0;        // fingerprints asked for
        int decoded = 0;       // of them decoded in this search (the others came from the cache)
        int undecodable = 0;   // left out: could not be opened or gave too few frames
        bool canceled = false;
    };

    // Called on the worker threads, one call at a time: movies done of all.
    std::function<void(int done, int total)> onProgress;
    // Called on the caller's thread as each group is formed.
    std::function<void(const SimilarGroup&)> onGroup;

    // `movies` in list order. `cache` may be null. Returns when done or canceled: the cancel
    // word set to 1 stops the decoding within a frame's wait and forms no more groups.
    Outcome Run(const std::vector<CompareFileEntry*>& movies, const std::vector<DuplicateGroup>& exactGroups,
                int threshold, FingerprintCache_CL* cache, const volatile LONG* cancel);

    // The fingerprints of the last run, in the order of its movies.
    const std::vector<MovieFingerprint>& Fingerprints() const { return prints; }

private:
    // Decodes the `missing` movies; which of them were taken whole (not cut by a cancel).
    std::vector<char> Fingerprint(const std::vector<CompareFileEntry*>& movies, const std::vector<size_t>& missing,
                                  const volatile LONG* cancel, Outcome& outcome);

    std::vector<MovieFingerprint> prints;
};

#pragma once
#include <windows.h>

#include <functional>
#include <mutex>
#include <vector>

#include "engine/DuplicateGroup.h"
#include "engine/FingerprintCache_CL.h"
#include "engine/MovieFingerprint.h"
#include "engine/SimilarGroup.h"

// The similar-movie part of a search, after the exact groups are known: a fingerprint for
// every movie (from the cache, else decoded on worker threads of its own), grouped as they
// come. Byte copies are not looked at: one movie of an exact group (its first file, else its
// first movie in list order) stands for its copies. Movies that cannot be decoded are counted
// and left out; a movie gone or changed since the search saw it is left out without being
// counted or cached, and its next copy still there stands in for the group instead.
class SimilarMovieSearch_CL {
public:
    static constexpr int kWorkers = 2;

    struct Outcome {
        std::vector<SimilarGroup> groups;
        int movies = 0;        // fingerprints asked for
        int lookedAt = 0;      // of them, movies standing for their copies or with none: from the cache or decoded
        int decoded = 0;       // of them decoded in this search (the others came from the cache)
        int undecodable = 0;   // left out: could not be opened or gave too few frames
        int goneOrChanged = 0; // left out: deleted, moved or written since the search saw them
        bool canceled = false;
    };

    // The callbacks come one at a time, from the worker threads or the caller's.
    // Movies looked at (fingerprint taken or found left out) of all to look at. The total
    // grows by one each time a copy stands in for a stand-in left out.
    std::function<void(int done, int total)> onProgress;
    // The fingerprint of movies[index] is known: decoded, from the cache, or its stand-in's
    // for an exact copy. Not for a movie left out.
    std::function<void(size_t index, const MovieFingerprint& print)> onPrint;
    // A similar group formed or grew (the whole group so far), as the movies are looked at.
    std::function<void(const SimilarGroup&)> onGroup;

    // `movies` in list order. `cache` may be null. Returns when done or canceled: the cancel
    // word set to 1 stops the decoding within a frame's wait and forms no more groups.
    Outcome Run(const std::vector<CompareFileEntry*>& movies, const std::vector<DuplicateGroup>& exactGroups,
                int threshold, FingerprintCache_CL* cache, const volatile LONG* cancel);

    // The fingerprints of the last run, in the order of its movies.
    const std::vector<MovieFingerprint>& Fingerprints() const { return prints; }

private:
    class Reporter;
    // Decodes the `missing` movies, and the copies that stand in for those left out; of each
    // movie, 1 when decoded whole (not cut by a cancel) and still what the search saw.
    std::vector<char> Fingerprint(const std::vector<CompareFileEntry*>& movies, const std::vector<size_t>& missing,
                                  const volatile LONG* cancel, Reporter& reporter);

    std::vector<MovieFingerprint> prints;
};

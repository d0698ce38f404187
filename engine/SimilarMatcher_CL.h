#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "engine/DuplicateGroup.h"
#include "engine/MovieFingerprint.h"
#include "engine/SimilarGroup.h"

// Decides which movies are the same movie in another encoding, from their fingerprints
// alone. Two movies are similar when their frames agree after the best shift in time, so a
// few seconds cut at the start or the end still match; they are not when only a part agrees
// (the same opening and closing titles around other content, an excerpt, the other half):
// every third of the movie must agree, some picture of its middle must be in both, and the
// lengths may differ by a few seconds only.
class SimilarMatcher_CL {
public:
    static constexpr int kDefaultThreshold = 70;           // percent of frames that agree
    static constexpr int kMostDifferentBits = 12;          // of 63: still the same picture
    static constexpr int64_t kSecond = 10000000;           // 100 ns
    static constexpr int64_t kMostLengthDifference = 8 * kSecond;
    static constexpr int64_t kShiftSlack = kSecond;        // container offsets, frame rounding
    static constexpr int kLeastComparedFrames = 6;
    static constexpr double kMostAspectDifference = 0.03;  // 3% (scaled encodes round their sizes)

    // 0 to 100: the share of frames that agree at the best shift, the worse of both ways;
    // 0 when the two cannot be the same movie (lengths, aspects, too few pictures, a third
    // that disagrees).
    static int Similarity(const MovieFingerprint& a, const MovieFingerprint& b);

    struct Candidate {
        CompareFileEntry* file = nullptr;
        const MovieFingerprint* print = nullptr;  // null or not decodable: left out
    };
    // Groups in list order of their bases, each member similar to its base by `threshold`
    // or more, each movie in one group at most. Files already in an exact group take part
    // through that group's base only, so exact copies are never shown again as similar.
    // `onGroup` hears of each group when it is complete; a cancel word set to 1 stops the
    // search with the groups found so far.
    static std::vector<SimilarGroup> FindGroups(std::span<const Candidate> candidates,
                                                const std::vector<DuplicateGroup>& exactGroups, int threshold,
                                                const volatile long* cancel = nullptr,
                                                const std::function<void(const SimilarGroup&)>& onGroup = {});

private:
    static int ThirdOf(const MovieFingerprint& print, int64_t time);
    static bool MiddleShows(const MovieFingerprint& a, const MovieFingerprint& b);
    static int OneWay(const MovieFingerprint& a, const MovieFingerprint& b);
};

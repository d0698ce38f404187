#pragma once
#include <cstdint>
#include <functional>
#include <map>
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
    // Frames this close after the shift show the same moment: a picture that moves is only
    // compared with its own moment in the other movie.
    static constexpr int64_t kSameMoment = 6 * kSecond / 10;
    // Frames this close show the very same moment (a seek lands on the frame at or after the
    // moment asked for): in a fast scene, the only ones that still show one picture.
    static constexpr int64_t kExactMoment = kSecond / 10;
    // Otherwise frames within a tenth of the movie of each other are compared.
    static constexpr int kLooseParts = 10;
    static constexpr int kLeastComparedFrames = 6;
    static constexpr double kMostAspectDifference = 0.03;  // 3% (scaled encodes round their sizes)

    // 0 to 100: the share of frames that agree at the best shift, the worse of both ways;
    // 0 when the two cannot be the same movie (lengths, aspects, too few pictures, a third
    // that disagrees).
    static int Similarity(const MovieFingerprint& a, const MovieFingerprint& b);

    // Scores a similar group again against its first file (after the old first one went) and
    // takes out the members no longer similar to it by `threshold`, unless `keepMembers` (a
    // group on show keeps its rows). `printOf` gives a file's fingerprint, or null.
    static void Rescore(DuplicateGroup& group, const std::function<const MovieFingerprint*(const CompareFileEntry*)>& printOf,
                        int threshold, bool keepMembers);

    struct Candidate {
        CompareFileEntry* file = nullptr;
        const MovieFingerprint* print = nullptr;  // null or not decodable: left out
    };
    // Groups in list order of their bases, each member similar to its base by `threshold`
    // or more, each movie in one group at most. The files of an exact group take part
    // through one of them only, so exact copies are never shown again as similar: the
    // earliest listed with a decodable fingerprint (its first file, unless that one is not
    // listed or was left out).
    // `onGroup` hears of each group when it is complete; a cancel word set to 1 stops the
    // search with the groups found so far.
    static std::vector<SimilarGroup> FindGroups(std::span<const Candidate> candidates,
                                                const std::vector<DuplicateGroup>& exactGroups, int threshold,
                                                const volatile long* cancel = nullptr,
                                                const std::function<void(const SimilarGroup&)>& onGroup = {});

    class Grouping;

private:
    // A fingerprint as the comparison reads it: its informative pictures only, each with the
    // third of the movie it lies in, worked out once for all the pairs a movie is part of.
    struct Prepared {
        bool isDecodable = false;
        int64_t duration = 0;
        int32_t width = 0;
        int32_t height = 0;
        std::vector<int64_t> times;
        std::vector<uint64_t> hashes;
        std::vector<uint8_t> thirds;   // 0, 1, 2, or kFlat: a picture that says nothing
        std::vector<uint64_t> pictures;  // the informative hashes
        std::vector<uint64_t> middle;    // of them, those of the middle third
    };
    static constexpr uint8_t kFlat = 3;
    static Prepared Prepare(const MovieFingerprint& print);
    static int Compare(const Prepared& a, const Prepared& b);
    static bool MiddleShows(const Prepared& a, const Prepared& b);
    static std::vector<int64_t> Shifts(const Prepared& a, const Prepared& b, int64_t reach, bool isExact);
    static int OneWay(const Prepared& a, const Prepared& b, const std::vector<char>& agree, bool byRow, int64_t reach,
                      const std::vector<int64_t>& shifts);
};

// The grouping of FindGroups, as the fingerprints come, in any order: the groups can be shown
// while the movies are still being looked at, and end exactly as FindGroups forms them. A
// movie is placed in list order (one that comes early waits for those before it): it joins
// the earliest group whose first file it is similar to, or it is the first file of a group
// of its own. So a group's first file is always its earliest movie in the list, whichever
// member would have been a better first file.
class SimilarMatcher_CL::Grouping {
public:
    // `files` in list order. Of the members of each of `exactGroups` among them, only the
    // earliest with a decodable fingerprint takes part.
    Grouping(std::vector<CompareFileEntry*> files, const std::vector<DuplicateGroup>& exactGroups, int threshold);

    // The fingerprint of files[index] has come; null (or not decodable): the movie takes no
    // part. Each group that formed or grew with it (two movies or more) is told, whole.
    void Take(size_t index, const MovieFingerprint* print, const std::function<void(const SimilarGroup&)>& onChange = {});
    // The groups of two movies or more, in list order of their first files.
    std::vector<SimilarGroup> Groups() const;

private:
    void Place(size_t index, const MovieFingerprint* print, const std::function<void(const SimilarGroup&)>& onChange);

    struct Base {
        Prepared prepared;
        SimilarGroup group;
    };
    static constexpr size_t kNoExactGroup = SIZE_MAX;
    std::vector<CompareFileEntry*> files;
    std::vector<size_t> exactGroupOf;   // of each file, or kNoExactGroup
    std::vector<char> isExactGroupPlaced;  // of each exact group: a member took part for it
    int threshold = 0;
    std::vector<const MovieFingerprint*> waiting;  // come, not yet placed
    std::vector<char> hasCome;
    size_t nextToPlace = 0;
    std::vector<Base> bases;                       // in list order of their first files
    std::multimap<int64_t, size_t> basesByLength;  // a base's length, its place in `bases`
};

#include "engine/SimilarMatcher_CL.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <unordered_map>

namespace {

template <typename Print>
bool SameAspect(const Print& a, const Print& b)
{
    if (a.width <= 0 || a.height <= 0 || b.width <= 0 || b.height <= 0) return true;  // unknown: the frames decide
    const double ratioA = double(a.width) / a.height, ratioB = double(b.width) / b.height;
    return std::abs(ratioA - ratioB) <= SimilarMatcher_CL::kMostAspectDifference * std::max(ratioA, ratioB);
}

// Whether some hash of `a` lies within `most` bits of some hash of `b`. The grouping asks
// this of every pair of movies of about one length; with the processor's own bit count it
// runs several times faster than with the portable one, so that is used where there is one.
__attribute__((target("popcnt"))) bool AnyNearWithPopcount(const std::vector<uint64_t>& a, const std::vector<uint64_t>& b,
                                                            int most)
{
    for (uint64_t x : a)
        for (uint64_t y : b)
            if (__builtin_popcountll(x ^ y) <= most) return true;
    return false;
}

bool AnyNearPortable(const std::vector<uint64_t>& a, const std::vector<uint64_t>& b, int most)
{
    for (uint64_t x : a)
        for (uint64_t y : b)
            if (MovieFingerprint::BitsApart(x, y) <= most) return true;
    return false;
}

bool AnyNear(const std::vector<uint64_t>& a, const std::vector<uint64_t>& b, int most)
{
    static const bool hasPopcount = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("popcnt") != 0;
    }();
    return hasPopcount ? AnyNearWithPopcount(a, b, most) : AnyNearPortable(a, b, most);
}

}  // namespace

SimilarMatcher_CL::Prepared SimilarMatcher_CL::Prepare(const MovieFingerprint& print)
{
    Prepared prepared;
    prepared.isDecodable = print.isDecodable;
    prepared.duration = print.duration;
    prepared.width = print.width;
    prepared.height = print.height;
    for (const MovieFingerprint::Frame& frame : print.frames) {
        const auto third = static_cast<uint8_t>(std::min<int64_t>(2, frame.time * 3 / std::max<int64_t>(1, print.duration)));
        prepared.times.push_back(frame.time);
        prepared.hashes.push_back(frame.hash);
        prepared.thirds.push_back(frame.isFlat ? kFlat : third);
        if (frame.isFlat) continue;
        prepared.pictures.push_back(frame.hash);
        if (third == 1) prepared.middle.push_back(frame.hash);
    }
    return prepared;
}

// Whether some picture of the middle of a is among b's pictures: the middle of the same
// movie always is, and most pairs of movies are told apart by this alone, cheaply.
bool SimilarMatcher_CL::MiddleShows(const Prepared& a, const Prepared& b)
{
    return AnyNear(a.middle, b.pictures, kMostDifferentBits);
}

// The shifts of b against a to try: every quarter or half second over what the lengths
// allow, or (`isExact`) only those that line the two up at their starts or at their ends,
// where a copy cut at one end has its frames at the very moments of the other's.
std::vector<int64_t> SimilarMatcher_CL::Shifts(const Prepared& a, const Prepared& b, int64_t reach, bool isExact)
{
    // b's moment t is a's moment t + shift: a cut at b's start gives a positive shift.
    const int64_t difference = a.duration - b.duration;
    if (isExact) return difference == 0 ? std::vector<int64_t>{0} : std::vector<int64_t>{0, difference};
    std::vector<int64_t> shifts;
    const int64_t step = std::clamp<int64_t>(reach / 4, kSecond / 4, kSecond / 2);
    const int64_t lowest = std::min<int64_t>(0, difference) - kShiftSlack;
    const int64_t highest = std::max<int64_t>(0, difference) + kShiftSlack;
    for (int64_t shift = lowest; shift <= highest; shift += step) shifts.push_back(shift);
    return shifts;
}

// The share of a's pictures that b shows at the same moment of the movie, at the best of
// `shifts` of b against a: a frame of a is compared with those of b within `reach` of where
// it should be. `agree` says which pairs of pictures agree (row: a frame of a).
int SimilarMatcher_CL::OneWay(const Prepared& a, const Prepared& b, const std::vector<char>& agree, bool byRow,
                              int64_t reach, const std::vector<int64_t>& shifts)
{
    const size_t countA = a.times.size(), countB = b.times.size();
    int best = 0;
    for (const int64_t shift : shifts) {
        int compared[3] = {}, matched[3] = {};
        for (size_t i = 0; i < countA; ++i) {
            if (a.thirds[i] == kFlat) continue;
            const int64_t there = a.times[i] - shift;
            if (there < 0 || there > b.duration) continue;  // outside what both show
            bool near = false, same = false;
            for (size_t j = 0; j < countB; ++j) {
                if (std::llabs(b.times[j] - there) > reach) continue;
                near = true;
                same = same || agree[byRow ? i * countB + j : j * countA + i];
            }
            if (!near) continue;
            ++compared[a.thirds[i]];
            matched[a.thirds[i]] += same;
        }
        const int allCompared = compared[0] + compared[1] + compared[2];
        if (allCompared < kLeastComparedFrames) continue;
        bool everyThird = true;
        for (int third = 0; third < 3; ++third)
            if (compared[third] >= 2 && matched[third] * 2 < compared[third]) everyThird = false;
        if (!everyThird) continue;
        best = std::max(best, 100 * (matched[0] + matched[1] + matched[2]) / allCompared);
    }
    return best;
}

int SimilarMatcher_CL::Compare(const Prepared& a, const Prepared& b)
{
    if (!a.isDecodable || !b.isDecodable || a.duration <= 0 || b.duration <= 0 || a.times.empty() || b.times.empty())
        return 0;
    if (std::llabs(a.duration - b.duration) > kMostLengthDifference || !SameAspect(a, b)) return 0;
    if (!MiddleShows(a, b) || !MiddleShows(b, a)) return 0;

    // Which pairs of pictures agree, once; the shifts then only look them up.
    const size_t countA = a.times.size(), countB = b.times.size();
    std::vector<char> agree(countA * countB, 0);
    for (size_t i = 0; i < countA; ++i)
        for (size_t j = 0; j < countB; ++j)
            agree[i * countB + j] = a.thirds[i] != kFlat && b.thirds[j] != kFlat &&
                                    MovieFingerprint::BitsApart(a.hashes[i], b.hashes[j]) <= kMostDifferentBits;
    // Within a tenth of the other movie, every frame of a has some frame of b to be compared
    // with, whatever cut both ends; within a moment, the pictures of a moving scene are not
    // taken for different ones; and lined up at either end, only the frames taken at the very
    // same moments are compared, which in a fast scene (a scroll, a zoom) are the only ones
    // that still show the same picture.
    struct Way {
        int64_t reach[2];
        bool isExact;
    };
    const Way ways[] = {{{b.duration / kLooseParts, a.duration / kLooseParts}, false},
                        {{kSameMoment, kSameMoment}, false},
                        {{kExactMoment, kExactMoment}, true}};
    int best = 0;
    for (const Way& way : ways) {
        const int forward = OneWay(a, b, agree, true, way.reach[0], Shifts(a, b, way.reach[0], way.isExact));
        if (forward <= best) continue;
        best = std::max(best, std::min(forward, OneWay(b, a, agree, false, way.reach[1], Shifts(b, a, way.reach[1], way.isExact))));
    }
    return best;
}

int SimilarMatcher_CL::Similarity(const MovieFingerprint& a, const MovieFingerprint& b)
{
    return Compare(Prepare(a), Prepare(b));
}

void SimilarMatcher_CL::Rescore(DuplicateGroup& group,
                                const std::function<const MovieFingerprint*(const CompareFileEntry*)>& printOf,
                                int threshold, bool keepMembers)
{
    if (!group.isSimilar || group.empty()) return;
    const MovieFingerprint* base = printOf(group.front());
    group.front()->similarity = 100;
    for (size_t i = 1; i < group.size(); ++i) {
        const MovieFingerprint* print = printOf(group[i]);
        group[i]->similarity = base && print ? Similarity(*base, *print) : 0;
    }
    if (keepMembers) return;
    // Two movies both like the old first file need not be like each other (its two ends).
    const CompareFileEntry* first = group.front();
    std::erase_if(group, [&](const CompareFileEntry* file) { return file != first && file->similarity < threshold; });
}

std::vector<SimilarGroup> SimilarMatcher_CL::FindGroups(std::span<const Candidate> candidates,
                                                        const std::vector<DuplicateGroup>& exactGroups, int threshold,
                                                        const volatile long* cancel,
                                                        const std::function<void(const SimilarGroup&)>& onGroup)
{
    std::vector<CompareFileEntry*> files;
    for (const Candidate& candidate : candidates) files.push_back(candidate.file);
    Grouping grouping(std::move(files), exactGroups, threshold);
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (cancel && *cancel == 1) break;
        grouping.Take(i, candidates[i].print);
    }
    std::vector<SimilarGroup> groups = grouping.Groups();
    if (onGroup)
        for (const SimilarGroup& group : groups) onGroup(group);
    return groups;
}

SimilarMatcher_CL::Grouping::Grouping(std::vector<CompareFileEntry*> listed, const std::vector<DuplicateGroup>& exactGroups,
                                      int threshold)
    : files(std::move(listed)), exactGroupOf(files.size(), kNoExactGroup), isExactGroupPlaced(exactGroups.size(), 0),
      threshold(threshold), waiting(files.size(), nullptr), hasCome(files.size(), 0)
{
    std::unordered_map<const CompareFileEntry*, size_t> groupOf;
    for (size_t g = 0; g < exactGroups.size(); ++g)
        for (const CompareFileEntry* file : exactGroups[g]) groupOf.emplace(file, g);
    for (size_t i = 0; i < files.size(); ++i) {
        const auto group = groupOf.find(files[i]);
        if (group != groupOf.end()) exactGroupOf[i] = group->second;
    }
}

void SimilarMatcher_CL::Grouping::Take(size_t index, const MovieFingerprint* print,
                                       const std::function<void(const SimilarGroup&)>& onChange)
{
    if (index >= files.size() || hasCome[index]) return;
    hasCome[index] = 1;
    waiting[index] = print;
    for (; nextToPlace < files.size() && hasCome[nextToPlace]; ++nextToPlace)
        Place(nextToPlace, waiting[nextToPlace], onChange);
}

void SimilarMatcher_CL::Grouping::Place(size_t index, const MovieFingerprint* print,
                                        const std::function<void(const SimilarGroup&)>& onChange)
{
    if (!print || !print->isDecodable) return;
    // Exact copies take part through one of them only: never shown again as similar.
    const size_t exactGroup = exactGroupOf[index];
    if (exactGroup != kNoExactGroup) {
        if (isExactGroupPlaced[exactGroup]) return;
        isExactGroupPlaced[exactGroup] = 1;
    }
    Prepared prepared = Prepare(*print);
    // Of the bases of about its length, the earliest one like it takes it.
    size_t chosen = bases.size();
    int chosenScore = 0;
    const auto from = basesByLength.lower_bound(prepared.duration - kMostLengthDifference);
    const auto to = basesByLength.upper_bound(prepared.duration + kMostLengthDifference);
    for (auto base = from; base != to; ++base) {
        if (base->second > chosen) continue;
        const int score = Compare(bases[base->second].prepared, prepared);
        if (score < threshold || score <= 0) continue;
        chosen = base->second;
        chosenScore = score;
    }
    if (chosen < bases.size()) {
        SimilarGroup& group = bases[chosen].group;
        group.files.push_back(files[index]);
        group.scores.push_back(chosenScore);
        if (onChange) onChange(group);
        return;
    }
    basesByLength.emplace(prepared.duration, bases.size());
    Base& base = bases.emplace_back();
    base.prepared = std::move(prepared);
    base.group.files.push_back(files[index]);
    base.group.scores.push_back(100);
}

std::vector<SimilarGroup> SimilarMatcher_CL::Grouping::Groups() const
{
    std::vector<SimilarGroup> groups;
    for (const Base& base : bases)
        if (base.group.files.size() >= 2) groups.push_back(base.group);
    return groups;
}

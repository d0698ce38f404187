#include "engine/SimilarMatcher_CL.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <unordered_set>

namespace {

bool SameAspect(const MovieFingerprint& a, const MovieFingerprint& b)
{
    if (a.width <= 0 || a.height <= 0 || b.width <= 0 || b.height <= 0) return true;  // unknown: the frames decide
    const double ratioA = double(a.width) / a.height, ratioB = double(b.width) / b.height;
    return std::abs(ratioA - ratioB) <= SimilarMatcher_CL::kMostAspectDifference * std::max(ratioA, ratioB);
}

}  // namespace

int SimilarMatcher_CL::ThirdOf(const MovieFingerprint& print, int64_t time)
{
    return static_cast<int>(std::min<int64_t>(2, time * 3 / std::max<int64_t>(1, print.duration)));
}

// Whether some picture of the middle of a is among b's pictures: the middle of the same
// movie always is, and most pairs of movies are told apart by this alone, cheaply.
bool SimilarMatcher_CL::MiddleShows(const MovieFingerprint& a, const MovieFingerprint& b)
{
    for (const MovieFingerprint::Frame& frame : a.frames) {
        if (frame.isFlat || ThirdOf(a, frame.time) != 1) continue;
        for (const MovieFingerprint::Frame& other : b.frames)
            if (!other.isFlat && MovieFingerprint::BitsApart(frame.hash, other.hash) <= kMostDifferentBits) return true;
    }
    return false;
}

// The share of a's pictures that b shows at the same moment of the movie, at the best shift
// of b against a. b's frames lie a part of the movie apart, so a frame of a is compared with
// those of b within one such part of where it should be.
int SimilarMatcher_CL::OneWay(const MovieFingerprint& a, const MovieFingerprint& b)
{
    const size_t countA = a.frames.size(), countB = b.frames.size();
    // Which pairs of pictures agree, once; the shifts then only look them up.
    std::vector<char> agree(countA * countB, 0);
    for (size_t i = 0; i < countA; ++i)
        for (size_t j = 0; j < countB; ++j)
            agree[i * countB + j] = !a.frames[i].isFlat && !b.frames[j].isFlat &&
                                    MovieFingerprint::BitsApart(a.frames[i].hash, b.frames[j].hash) <= kMostDifferentBits;

    const int64_t reach = b.duration / static_cast<int64_t>(countB);
    const int64_t step = std::clamp<int64_t>(reach / 4, kSecond / 4, kSecond / 2);
    // b's moment t is a's moment t + shift: a cut at b's start gives a positive shift.
    const int64_t difference = a.duration - b.duration;
    const int64_t lowest = std::min<int64_t>(0, difference) - kShiftSlack;
    const int64_t highest = std::max<int64_t>(0, difference) + kShiftSlack;
    int best = 0;
    for (int64_t shift = lowest; shift <= highest; shift += step) {
        int compared[3] = {}, matched[3] = {};
        for (size_t i = 0; i < countA; ++i) {
            const MovieFingerprint::Frame& frame = a.frames[i];
            const int64_t there = frame.time - shift;
            if (frame.isFlat || there < 0 || there > b.duration) continue;  // outside what both show
            bool near = false, same = false;
            for (size_t j = 0; j < countB; ++j) {
                if (std::llabs(b.frames[j].time - there) > reach) continue;
                near = true;
                same = same || agree[i * countB + j];
            }
            if (!near) continue;
            ++compared[ThirdOf(a, frame.time)];
            matched[ThirdOf(a, frame.time)] += same;
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

int SimilarMatcher_CL::Similarity(const MovieFingerprint& a, const MovieFingerprint& b)
{
    if (!a.isDecodable || !b.isDecodable || a.duration <= 0 || b.duration <= 0 || a.frames.empty() || b.frames.empty())
        return 0;
    if (std::llabs(a.duration - b.duration) > kMostLengthDifference || !SameAspect(a, b)) return 0;
    if (!MiddleShows(a, b) || !MiddleShows(b, a)) return 0;
    const int forward = OneWay(a, b);
    return forward == 0 ? 0 : std::min(forward, OneWay(b, a));
}

std::vector<SimilarGroup> SimilarMatcher_CL::FindGroups(std::span<const Candidate> candidates,
                                                        const std::vector<DuplicateGroup>& exactGroups, int threshold,
                                                        const volatile long* cancel,
                                                        const std::function<void(const SimilarGroup&)>& onGroup)
{
    std::unordered_set<const CompareFileEntry*> copies;  // exact group members other than the base
    for (const DuplicateGroup& group : exactGroups)
        for (size_t i = 1; i < group.size(); ++i) copies.insert(group[i]);

    std::vector<size_t> usable;
    for (size_t i = 0; i < candidates.size(); ++i)
        if (candidates[i].print && candidates[i].print->isDecodable && !copies.count(candidates[i].file))
            usable.push_back(i);
    // By length, so each base is compared only with movies of about its length.
    std::vector<size_t> byLength = usable;
    std::sort(byLength.begin(), byLength.end(), [&](size_t x, size_t y) {
        return candidates[x].print->duration < candidates[y].print->duration;
    });
    std::vector<int64_t> lengths;
    for (size_t index : byLength) lengths.push_back(candidates[index].print->duration);

    std::vector<char> grouped(candidates.size(), 0);
    std::vector<SimilarGroup> groups;
    for (size_t base : usable) {
        if (cancel && *cancel == 1) break;
        if (grouped[base]) continue;
        grouped[base] = 1;
        const MovieFingerprint& basePrint = *candidates[base].print;
        const auto from = std::lower_bound(lengths.begin(), lengths.end(), basePrint.duration - kMostLengthDifference);
        const auto to = std::upper_bound(lengths.begin(), lengths.end(), basePrint.duration + kMostLengthDifference);
        std::vector<std::pair<size_t, int>> members;
        for (auto other = byLength.begin() + (from - lengths.begin()); other != byLength.begin() + (to - lengths.begin());
             ++other) {
            if (grouped[*other]) continue;  // also every file before the base: each was a base
            const int score = Similarity(basePrint, *candidates[*other].print);
            if (score >= threshold && score > 0) members.push_back({*other, score});
        }
        std::sort(members.begin(), members.end());  // in list order
        SimilarGroup group;
        group.files.push_back(candidates[base].file);
        group.scores.push_back(100);
        for (const auto& [member, score] : members) {
            grouped[member] = 1;
            group.files.push_back(candidates[member].file);
            group.scores.push_back(score);
        }
        if (group.files.size() < 2) continue;
        groups.push_back(group);
        if (onGroup) onGroup(groups.back());
    }
    return groups;
}

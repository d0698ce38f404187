#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <random>
#include <set>

#include "engine/MovieFingerprint.h"
#include "engine/SimilarMatcher_CL.h"

namespace {

constexpr int64_t kSecond = SimilarMatcher_CL::kSecond;

// A movie as its scenes: each a picture (hash) that holds from its start to the next scene,
// or, in a moving movie, changes one bit every quarter second (so that a moment 3 s on is
// another picture by the hash), or in a fast one (a scrolling pattern, a zoom) is another
// picture every tenth of a second.
struct Scenes {
    std::vector<int64_t> starts;
    std::vector<uint64_t> hashes;
    int64_t length = 0;
    bool isMoving = false;
    bool isFast = false;

    uint64_t At(int64_t time) const
    {
        const size_t scene = std::upper_bound(starts.begin(), starts.end(), time) - starts.begin() - 1;
        uint64_t hash = hashes[scene];
        if (isFast) {
            uint64_t mixed = hash + uint64_t(time / (kSecond / 10)) * 0x9E3779B97F4A7C15ull;
            mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ull;
            mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBull;
            return (mixed ^ (mixed >> 31)) >> 1;
        }
        if (isMoving)
            for (int64_t step = 0; step < (time - starts[scene]) / (kSecond / 4) && step < 63; ++step)
                hash ^= uint64_t(1) << ((scene * 13 + step * 17) % 63);
        return hash;
    }
};

Scenes MakeScenes(std::mt19937_64& random, int64_t seconds)
{
    Scenes scenes;
    scenes.length = seconds * kSecond;
    for (int64_t at = 0; at < scenes.length; at += (3 + random() % 8) * kSecond) {
        scenes.starts.push_back(at);
        scenes.hashes.push_back(random() >> 1);
    }
    return scenes;
}

// What decoding the part [from, to) of the movie would give: frames at the sampling moments,
// each picture with `noise` of its bits changed by the encoding.
MovieFingerprint Encode(const Scenes& scenes, int64_t from, int64_t to, int noise, std::mt19937_64& random,
                        int width = 1280, int height = 720)
{
    MovieFingerprint print;
    print.isDecodable = true;
    print.duration = to - from;
    print.width = width;
    print.height = height;
    for (int64_t time : MovieFingerprint::SampleTimes(print.duration)) {
        uint64_t hash = scenes.At(from + time);
        for (int bit = 0; bit < noise; ++bit) hash ^= uint64_t(1) << (random() % 63);
        print.frames.push_back({time, hash, false});
    }
    return print;
}

MovieFingerprint EncodeWhole(const Scenes& scenes, int noise, std::mt19937_64& random)
{
    return Encode(scenes, 0, scenes.length, noise, random);
}

TEST(SimilarMatcher, ReencodedTrimmedAndResizedCopiesMatch)
{
    std::mt19937_64 random(28);
    int pairs = 0, found = 0, worst = 100;
    for (int movie = 0; movie < 200; ++movie) {
        const Scenes scenes = MakeScenes(random, 20 + random() % 101);
        const MovieFingerprint original = EncodeWhole(scenes, 0, random);
        const int64_t cut = 2 * kSecond + int64_t(random() % 1000) * kSecond / 1000;
        const MovieFingerprint variants[] = {
            EncodeWhole(scenes, 6, random),                                      // other bit rate or codec
            Encode(scenes, 0, scenes.length, 4, random, 854, 480),               // scaled to 480p
            Encode(scenes, cut, scenes.length, 3, random),                       // cut at the start
            Encode(scenes, 0, scenes.length - cut, 3, random),                   // cut at the end
            Encode(scenes, cut, scenes.length - cut, 3, random),                 // both
        };
        for (const MovieFingerprint& variant : variants) {
            const int score = SimilarMatcher_CL::Similarity(original, variant);
            EXPECT_EQ(score, SimilarMatcher_CL::Similarity(variant, original));
            ++pairs;
            found += score >= SimilarMatcher_CL::kDefaultThreshold;
            worst = std::min(worst, score);
        }
        EXPECT_EQ(SimilarMatcher_CL::Similarity(original, original), 100);
    }
    EXPECT_GE(found * 100, pairs * 95) << found << " of " << pairs << ", worst score " << worst;
}

// In moving pictures only the same moment shows the same picture: a copy cut at one end is
// still found (by the frames taken on the grid counted from its other end), also where the
// pictures change every tenth of a second, and moving movies that share only their titles
// are still refused.
TEST(SimilarMatcher, CopiesOfMovingMoviesCutAtOneEndMatch)
{
    std::mt19937_64 random(2829);
    int pairs = 0, found = 0, worst = 100;
    for (int movie = 0; movie < 200; ++movie) {
        Scenes scenes = MakeScenes(random, 20 + random() % 101);
        scenes.isMoving = true;
        scenes.isFast = movie % 2 == 1;
        const MovieFingerprint original = EncodeWhole(scenes, 0, random);
        const int64_t cut = 2 * kSecond + int64_t(random() % 1000) * kSecond / 1000;
        for (const MovieFingerprint& variant : {Encode(scenes, cut, scenes.length, 3, random),
                                                Encode(scenes, 0, scenes.length - cut, 3, random)}) {
            const int score = SimilarMatcher_CL::Similarity(original, variant);
            ++pairs;
            found += score >= SimilarMatcher_CL::kDefaultThreshold;
            worst = std::min(worst, score);
        }
        // Another episode: the same 10 s of titles at both ends, other scenes between.
        Scenes episode = MakeScenes(random, 45 + random() % 76), titled = episode;
        titled.isMoving = episode.isMoving = true;
        for (size_t s = 0; s < episode.starts.size(); ++s) {
            const int64_t end = s + 1 < episode.starts.size() ? episode.starts[s + 1] : episode.length;
            if (end > 10 * kSecond && episode.starts[s] < episode.length - 10 * kSecond) titled.hashes[s] = random() >> 1;
        }
        EXPECT_EQ(SimilarMatcher_CL::Similarity(EncodeWhole(episode, 0, random), EncodeWhole(titled, 2, random)), 0) << movie;
    }
    EXPECT_GE(found * 100, pairs * 95) << found << " of " << pairs << ", worst score " << worst;
}

TEST(SimilarMatcher, OnlyPartlyAlikeMoviesAreRefused)
{
    std::mt19937_64 random(2828);
    const int threshold = 1;  // whatever the user sets: these must score nothing
    for (int round = 0; round < 100; ++round) {
        const int64_t seconds = 45 + random() % 76;
        const Scenes first = MakeScenes(random, seconds);
        const MovieFingerprint whole = EncodeWhole(first, 0, random);

        // Another movie of the same length.
        EXPECT_LT(SimilarMatcher_CL::Similarity(whole, EncodeWhole(MakeScenes(random, seconds), 0, random)), threshold);

        // Two episodes: the same 10 s of titles at the start and the end, other content between.
        Scenes episode = MakeScenes(random, seconds);
        for (size_t s = 0; s < episode.starts.size(); ++s) {
            if (episode.starts[s] < 10 * kSecond) episode.hashes[s] = first.At(episode.starts[s]);
        }
        Scenes titled = episode;
        titled.starts.clear();
        titled.hashes.clear();
        for (int64_t at = 0; at < episode.length; at += kSecond / 2) {
            const bool titles = at < 10 * kSecond || at >= episode.length - 10 * kSecond;
            titled.starts.push_back(at);
            titled.hashes.push_back(titles ? first.At(at < 10 * kSecond ? at : first.length - (episode.length - at))
                                           : episode.At(at));
        }
        EXPECT_EQ(SimilarMatcher_CL::Similarity(whole, EncodeWhole(titled, 2, random)), 0) << "titles, round " << round;

        // A 15 s excerpt, and the two halves of one recording.
        const int64_t excerptAt = int64_t(random() % (seconds - 15)) * kSecond;
        EXPECT_EQ(SimilarMatcher_CL::Similarity(whole, Encode(first, excerptAt, excerptAt + 15 * kSecond, 0, random)), 0);
        const MovieFingerprint firstHalf = Encode(first, 0, first.length / 2, 0, random);
        const MovieFingerprint secondHalf = Encode(first, first.length / 2, first.length, 0, random);
        EXPECT_EQ(SimilarMatcher_CL::Similarity(firstHalf, secondHalf), 0);

        // The same pictures in another aspect (cropped or stretched): not taken for the same encode.
        EXPECT_EQ(SimilarMatcher_CL::Similarity(whole, Encode(first, 0, first.length, 0, random, 960, 720)), 0);
    }
}

TEST(SimilarMatcher, PicturesThatSayNothingNeverMakeMoviesAlike)
{
    std::mt19937_64 random(7);
    const Scenes scenes = MakeScenes(random, 60);
    MovieFingerprint black = EncodeWhole(scenes, 0, random);
    for (auto& frame : black.frames) frame.isFlat = true;
    EXPECT_EQ(SimilarMatcher_CL::Similarity(black, black), 0);
    MovieFingerprint broken = EncodeWhole(scenes, 0, random);
    broken.isDecodable = false;
    EXPECT_EQ(SimilarMatcher_CL::Similarity(broken, EncodeWhole(scenes, 0, random)), 0);
    // Mostly black (a long fade): the few pictures left are too few to decide on.
    MovieFingerprint dark = EncodeWhole(scenes, 0, random);
    for (size_t i = 0; i + 5 < dark.frames.size(); ++i) dark.frames[i].isFlat = true;
    EXPECT_EQ(SimilarMatcher_CL::Similarity(dark, EncodeWhole(scenes, 0, random)), 0);
}

TEST(SimilarMatcher, GroupsFormAroundTheirFirstFileWithoutExactCopiesOrTwoMovies)
{
    std::mt19937_64 random(99);
    const Scenes a = MakeScenes(random, 60), b = MakeScenes(random, 61), c = MakeScenes(random, 59);
    std::vector<CompareFileEntry> files(8);
    for (size_t i = 0; i < files.size(); ++i) files[i].path = L"f" + std::to_wstring(i);
    const MovieFingerprint prints[] = {
        EncodeWhole(b, 0, random),                                 // 0: b
        EncodeWhole(a, 0, random),                                 // 1: a
        Encode(a, 2 * kSecond, a.length, 4, random, 854, 480),     // 2: a, cut and scaled
        EncodeWhole(c, 0, random),                                 // 3: c, alone
        EncodeWhole(a, 0, random),                                 // 4: an exact copy of 1
        Encode(b, 0, b.length - 3 * kSecond, 5, random),           // 5: b, cut at the end
        EncodeWhole(a, 6, random),                                 // 6: a, re-encoded
        MovieFingerprint{},                                        // 7: could not be decoded
    };
    std::vector<SimilarMatcher_CL::Candidate> candidates;
    for (size_t i = 0; i < files.size(); ++i) candidates.push_back({&files[i], &prints[i]});
    const std::vector<DuplicateGroup> exact = {{&files[1], &files[4]}};

    std::vector<std::vector<CompareFileEntry*>> heard;
    const auto groups = SimilarMatcher_CL::FindGroups(candidates, exact, SimilarMatcher_CL::kDefaultThreshold, nullptr,
                                                      [&](const SimilarGroup& group) { heard.push_back(group.files); });
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].files, (std::vector<CompareFileEntry*>{&files[0], &files[5]}));
    EXPECT_EQ(groups[1].files, (std::vector<CompareFileEntry*>{&files[1], &files[2], &files[6]}));
    EXPECT_EQ(heard, (std::vector<std::vector<CompareFileEntry*>>{groups[0].files, groups[1].files}));
    for (const SimilarGroup& group : groups) {
        ASSERT_EQ(group.scores.size(), group.files.size());
        EXPECT_EQ(group.scores[0], 100);
        for (size_t m = 1; m < group.files.size(); ++m) {
            const size_t base = group.files[0] - files.data(), member = group.files[m] - files.data();
            EXPECT_EQ(group.scores[m], SimilarMatcher_CL::Similarity(prints[base], prints[member]));
            EXPECT_GE(group.scores[m], SimilarMatcher_CL::kDefaultThreshold);
        }
    }
    // A threshold above every score forms nothing; a cancel before the start, nothing either.
    EXPECT_TRUE(SimilarMatcher_CL::FindGroups(candidates, exact, 101).empty());
    volatile long cancel = 1;
    EXPECT_TRUE(SimilarMatcher_CL::FindGroups(candidates, exact, SimilarMatcher_CL::kDefaultThreshold, &cancel).empty());
}

// The grouping as it was done once all fingerprints were there, written plainly: each movie
// in list order joins the earliest group whose first file it is like, or starts one; of an
// exact group (`exactGroupOf`, or -1), only the first decodable member listed takes part.
std::vector<std::vector<size_t>> GroupsAtTheEnd(const std::vector<MovieFingerprint>& prints,
                                                const std::vector<int>& exactGroupOf, int threshold)
{
    std::vector<std::vector<size_t>> groups;
    std::set<int> exactGroupsIn;
    for (size_t i = 0; i < prints.size(); ++i) {
        if (!prints[i].isDecodable) continue;
        if (exactGroupOf[i] >= 0 && !exactGroupsIn.insert(exactGroupOf[i]).second) continue;
        auto joined = std::find_if(groups.begin(), groups.end(), [&](const std::vector<size_t>& group) {
            const int score = SimilarMatcher_CL::Similarity(prints[group[0]], prints[i]);
            return score > 0 && score >= threshold;
        });
        if (joined != groups.end())
            joined->push_back(i);
        else
            groups.push_back({i});
    }
    std::erase_if(groups, [](const std::vector<size_t>& group) { return group.size() < 2; });
    return groups;
}

TEST(SimilarMatcher, GroupsToldAsTheFingerprintsComeEndAsTheGroupsOfAllAtOnceWhateverTheOrder)
{
    std::mt19937_64 random(5);
    // Eight movies in up to five copies each, some cut at one end by up to 7 s (so a copy cut
    // at the start and one cut at the end may be like the whole movie but not each other:
    // which file is listed first decides the groups), exact copies and undecodable files, an
    // exact group whose first file is left out and one whose first file is not listed.
    std::vector<MovieFingerprint> prints;
    for (int movie = 0; movie < 8; ++movie) {
        Scenes scenes = MakeScenes(random, 30 + random() % 60);
        scenes.isMoving = movie % 2 == 1;
        for (int copy = 0, copies = 2 + random() % 4; copy < copies; ++copy) {
            const int64_t cut = int64_t(random() % 7000) * kSecond / 1000;
            prints.push_back(copy % 3 == 0   ? EncodeWhole(scenes, 4, random)
                             : copy % 3 == 1 ? Encode(scenes, cut, scenes.length, 3, random)
                                             : Encode(scenes, 0, scenes.length - cut, 3, random));
        }
    }
    prints.push_back(MovieFingerprint{});
    std::shuffle(prints.begin(), prints.end(), random);
    prints.push_back(prints[3]);  // byte copies of 3, 7 and 11, listed last
    prints.push_back(prints[7]);
    prints.push_back(prints[11]);
    prints.push_back(prints[11]);
    prints[11] = MovieFingerprint{};  // gone before its turn: its copies stand for it
    std::vector<CompareFileEntry> files(prints.size());
    std::vector<CompareFileEntry*> listed;
    for (CompareFileEntry& file : files) listed.push_back(&file);
    const size_t count = prints.size();
    CompareFileEntry unlisted;  // no movie: its exact copy is listed alone
    const std::vector<DuplicateGroup> exact = {{listed[3], listed[count - 4]},
                                               {listed[7], listed[count - 3]},
                                               {listed[11], listed[count - 2], listed[count - 1]},
                                               {&unlisted, listed[5]}};
    std::vector<int> exactGroupOf(count, -1);
    exactGroupOf[3] = exactGroupOf[count - 4] = 0;
    exactGroupOf[7] = exactGroupOf[count - 3] = 1;
    exactGroupOf[11] = exactGroupOf[count - 2] = exactGroupOf[count - 1] = 2;
    const int threshold = 60;
    const std::vector<std::vector<size_t>> expected = GroupsAtTheEnd(prints, exactGroupOf, threshold);
    ASSERT_GE(expected.size(), 6u);
    // The first copy of the movie left out is grouped in its place, the other copy is not.
    const auto holds = [&](size_t file) {
        return std::any_of(expected.begin(), expected.end(), [&](const std::vector<size_t>& group) {
            return std::find(group.begin(), group.end(), file) != group.end();
        });
    };
    ASSERT_TRUE(holds(count - 2) && !holds(count - 1));
    auto indexes = [&](const SimilarGroup& group) {
        std::vector<size_t> at;
        for (CompareFileEntry* file : group.files) at.push_back(file - files.data());
        return at;
    };
    std::vector<SimilarMatcher_CL::Candidate> candidates;
    for (size_t i = 0; i < count; ++i) candidates.push_back({listed[i], &prints[i]});
    std::vector<std::vector<size_t>> batch;
    for (const SimilarGroup& group : SimilarMatcher_CL::FindGroups(candidates, exact, threshold)) batch.push_back(indexes(group));
    EXPECT_EQ(batch, expected);

    std::vector<size_t> order(count);
    std::iota(order.begin(), order.end(), 0);
    for (int round = 0; round < 20; ++round) {
        if (round > 0) std::shuffle(order.begin(), order.end(), random);
        SimilarMatcher_CL::Grouping grouping(listed, exact, threshold);
        std::map<size_t, std::vector<size_t>> told;  // by first file: the group as last told
        size_t taken = 0, toldBeforeTheLast = 0;
        for (size_t index : order) {
            ++taken;
            grouping.Take(index, &prints[index], [&](const SimilarGroup& group) {
                const std::vector<size_t> now = indexes(group);
                ASSERT_GE(now.size(), 2u);
                ASSERT_EQ(group.scores.size(), now.size());
                std::vector<size_t>& before = told[now[0]];
                // A group only grows, at its end, and each member is placed once its fingerprint
                // and every earlier one in the list have come.
                EXPECT_TRUE(std::equal(before.begin(), before.end(), now.begin())) << round;
                EXPECT_EQ(now.size(), before.empty() ? 2u : before.size() + 1) << round;
                for (size_t at : now)
                    EXPECT_TRUE(std::find(order.begin(), order.begin() + taken, at) != order.begin() + taken) << round;
                before = now;
                toldBeforeTheLast += taken < count;
            });
        }
        std::vector<std::vector<size_t>> final;
        for (const SimilarGroup& group : grouping.Groups()) final.push_back(indexes(group));
        EXPECT_EQ(final, expected) << round;
        std::vector<std::vector<size_t>> lastTold;
        for (const auto& [first, group] : told) lastTold.push_back(group);
        EXPECT_EQ(lastTold, expected) << round;
        // In list order every group is told as it forms, long before the end.
        if (round == 0) EXPECT_GE(toldBeforeTheLast, expected.size()) << "groups are told as they form";
    }
}

TEST(SimilarMatcher, AGroupRescoredAroundANewFirstFileLosesTheMembersNoLongerLikeIt)
{
    // The whole movie went; what is left: its start, its end (each like the whole movie, not
    // like each other), a re-encode of the start, and a movie with no fingerprint.
    std::mt19937_64 random(7);
    const Scenes a = MakeScenes(random, 60);
    std::vector<CompareFileEntry> files(4);
    const MovieFingerprint start = Encode(a, 0, 40 * kSecond, 0, random), end = Encode(a, 20 * kSecond, a.length, 0, random),
                           startAgain = Encode(a, 0, 40 * kSecond, 5, random);
    const auto printOf = [&](const CompareFileEntry* file) -> const MovieFingerprint* {
        const MovieFingerprint* prints[] = {&start, &end, &startAgain, nullptr};
        return prints[file - files.data()];
    };
    ASSERT_LT(SimilarMatcher_CL::Similarity(start, end), SimilarMatcher_CL::kDefaultThreshold);
    ASSERT_GE(SimilarMatcher_CL::Similarity(start, startAgain), SimilarMatcher_CL::kDefaultThreshold);
    DuplicateGroup group{&files[0], &files[1], &files[2], &files[3]};
    group.isSimilar = true;
    for (CompareFileEntry& file : files) file.similarity = 90;

    // On show, the rows stay with their new scores.
    DuplicateGroup shown = group;
    SimilarMatcher_CL::Rescore(shown, printOf, SimilarMatcher_CL::kDefaultThreshold, true);
    EXPECT_EQ(shown.size(), 4u);
    EXPECT_EQ(files[0].similarity, 100);
    EXPECT_EQ(files[1].similarity, SimilarMatcher_CL::Similarity(start, end));
    EXPECT_EQ(files[2].similarity, SimilarMatcher_CL::Similarity(start, startAgain));
    EXPECT_EQ(files[3].similarity, 0);

    SimilarMatcher_CL::Rescore(group, printOf, SimilarMatcher_CL::kDefaultThreshold, false);
    EXPECT_EQ(group, (DuplicateGroup{&files[0], &files[2]}));
    EXPECT_TRUE(group.isSimilar);
    // Nothing like the first file: the first file alone, which is no group.
    DuplicateGroup ends{&files[0], &files[1]};
    ends.isSimilar = true;
    SimilarMatcher_CL::Rescore(ends, printOf, SimilarMatcher_CL::kDefaultThreshold, false);
    EXPECT_EQ(ends.size(), 1u);
}

// A 32 x 32 grey picture drawn from a function of where in the picture a pixel lies, so
// that the same picture can be drawn at other sizes and reduced as the decoder reduces it.
template <typename Picture>
std::vector<uint8_t> Draw(Picture picture, int side, int noise, std::mt19937_64& random)
{
    std::vector<uint8_t> big(side * side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const int value = picture((x + 0.5) / side, (y + 0.5) / side) + (noise ? int(random() % (2 * noise + 1)) - noise : 0);
            big[y * side + x] = static_cast<uint8_t>(std::clamp(value, 0, 255));
        }
    const int block = side / MovieFingerprint::kGreySide;
    std::vector<uint8_t> grey(MovieFingerprint::kGreyPixels);
    for (int y = 0; y < MovieFingerprint::kGreySide; ++y)
        for (int x = 0; x < MovieFingerprint::kGreySide; ++x) {
            int sum = 0;
            for (int dy = 0; dy < block; ++dy)
                for (int dx = 0; dx < block; ++dx) sum += big[(y * block + dy) * side + x * block + dx];
            grey[y * MovieFingerprint::kGreySide + x] = static_cast<uint8_t>(sum / (block * block));
        }
    return grey;
}

TEST(MovieFingerprint, HashesKeepAPictureAndTellPicturesApart)
{
    std::mt19937_64 random(5);
    auto rings = [](double x, double y) { return int(128 + 100 * std::sin(12 * std::hypot(x - 0.4, y - 0.6))); };
    auto stripes = [](double x, double y) { return int(128 + 90 * std::sin(9 * x + 4 * y)); };
    auto brighter = [&](double x, double y) { return rings(x, y) + 20; };
    const uint64_t reference = MovieFingerprint::HashGreyFrame(Draw(rings, 32, 0, random).data()).hash;
    // Larger source, grain of a low bit rate, a brightness shift: the same picture.
    EXPECT_LE(MovieFingerprint::BitsApart(reference, MovieFingerprint::HashGreyFrame(Draw(rings, 256, 12, random).data()).hash),
              SimilarMatcher_CL::kMostDifferentBits / 2);
    EXPECT_LE(MovieFingerprint::BitsApart(reference, MovieFingerprint::HashGreyFrame(Draw(brighter, 64, 4, random).data()).hash),
              SimilarMatcher_CL::kMostDifferentBits / 2);
    EXPECT_GT(MovieFingerprint::BitsApart(reference, MovieFingerprint::HashGreyFrame(Draw(stripes, 64, 0, random).data()).hash),
              SimilarMatcher_CL::kMostDifferentBits);
    EXPECT_EQ(reference >> 63, 0u);

    const auto flat = MovieFingerprint::HashGreyFrame(Draw([](double, double) { return 16; }, 32, 1, random).data());
    EXPECT_TRUE(flat.isFlat);
    EXPECT_FALSE(MovieFingerprint::HashGreyFrame(Draw(rings, 32, 0, random).data()).isFlat);

    // 32 s: every 2 s, counted from either end (the same moments here); 33 s: every 4 s.
    std::vector<int64_t> expected;
    for (int64_t time = 2; time < 32; time += 2) expected.push_back(time * kSecond);
    EXPECT_EQ(MovieFingerprint::SampleTimes(32 * kSecond), expected);
    expected = {kSecond, 4 * kSecond, 5 * kSecond};
    for (int64_t time = 8; time < 32; time += 4) expected.insert(expected.end(), {time * kSecond, (time + 1) * kSecond});
    expected.push_back(32 * kSecond);
    EXPECT_EQ(MovieFingerprint::SampleTimes(33 * kSecond), expected);
    EXPECT_TRUE(MovieFingerprint::SampleTimes(0).empty());
    EXPECT_EQ(MovieFingerprint::SampleTimes(kSecond).size(), 15u) << "a step of a sixteenth of a second";
    // A copy cut by 2.5 s at one end is sampled at four moments of the content at least,
    // counted from the end it kept, also where its length halves the step (33 and 65 s).
    for (const int64_t length : {25 * kSecond, 60 * kSecond, 33 * kSecond, 47 * kSecond, 65 * kSecond, 2 * 3600 * kSecond}) {
        const int64_t cut = 25 * kSecond / 10;
        const auto whole = MovieFingerprint::SampleTimes(length), shorter = MovieFingerprint::SampleTimes(length - cut);
        EXPECT_LE(whole.size(), size_t(MovieFingerprint::kFrameCount));
        EXPECT_TRUE(std::is_sorted(whole.begin(), whole.end()));
        EXPECT_GT(whole.front(), 0);
        EXPECT_LT(whole.back(), length);
        int64_t widest = std::max(whole.front(), length - whole.back());
        for (size_t i = 1; i < whole.size(); ++i) widest = std::max(widest, whole[i] - whole[i - 1]);
        EXPECT_LE(widest, length / 8) << "the grid sees the whole movie";
        int cutAtStart = 0, cutAtEnd = 0;
        for (int64_t time : whole) {
            cutAtEnd += std::count(shorter.begin(), shorter.end(), time) != 0;
            cutAtStart += std::count(shorter.begin(), shorter.end(), time - cut) != 0;
        }
        EXPECT_GE(cutAtEnd, length == 33 * kSecond || length == 65 * kSecond ? 4 : 7) << length;
        EXPECT_GE(cutAtStart, length == 33 * kSecond || length == 65 * kSecond ? 4 : 7) << length;
    }
}

}  // namespace

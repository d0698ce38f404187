#pragma once
#include <cstdint>
#include <vector>

// What the similar-movie search knows of one movie: a perceptual hash of small grey frames
// taken at evenly spaced moments and at fixed steps of time from either end, the duration
// and the frame size. Two encodes of the same movie (another bit rate, codec, container or
// frame size of the same aspect) give frames whose hashes differ in a few bits; different
// pictures differ in about half of them.
struct MovieFingerprint {
    // Evenly spaced frames see the whole movie whatever its length. Moving pictures change
    // within a second, though, and in a copy cut by a few seconds at one end they fall on
    // other moments of the content. Frames at fixed offsets from the start and from the end
    // (whole powers of two seconds) fall on the same moments in such a copy, counted from
    // the end it still has, so part of it is compared picture for picture.
    static constexpr int kEvenFrames = 10;
    static constexpr int kStepFramesPerEnd = 2;
    // Fewer seeks than a 4 x 4 preview grid.
    static constexpr int kFrameCount = kEvenFrames + 2 * kStepFramesPerEnd;
    static constexpr int kGreySide = 32;     // frames are reduced to 32 x 32 grey pixels
    static constexpr int kGreyPixels = kGreySide * kGreySide;

    struct Frame {
        int64_t time = 0;      // 100 ns from the start of the movie
        uint64_t hash = 0;     // 63 bits: low frequencies of the picture above or below their median
        bool isFlat = false;   // one colour (black between scenes, a fade): says nothing of the movie
    };

    bool isDecodable = false;  // false: the movie could not be opened or gave too few frames
    int64_t duration = 0;      // 100 ns
    int32_t width = 0;
    int32_t height = 0;
    std::vector<Frame> frames;  // in time order

    // The moments to take frames at, in order: the middles of kEvenFrames equal parts of the
    // movie, and each of StepOffsets from the start and from the end.
    static std::vector<int64_t> SampleTimes(int64_t duration);
    // The kStepFramesPerEnd largest whole powers of two seconds below half the movie, largest
    // first (16 and 8 s of a 60 s movie). Not a share of the length: a copy a few seconds
    // shorter keeps them all, or all but one where half its length passes a power of two.
    static std::vector<int64_t> StepOffsets(int64_t duration);
    // The hash of a kGreySide x kGreySide grey picture (row by row, one byte a pixel), and
    // whether the picture is nearly one colour (its hash is then noise).
    static Frame HashGreyFrame(const uint8_t* grey);
    // How many of a frame's 63 hash bits differ from another's. Counted in place: without a
    // CPU switch the compiler calls a library routine, and a grouping asks this millions of times.
    static int BitsApart(uint64_t a, uint64_t b)
    {
        uint64_t x = a ^ b;
        x -= (x >> 1) & 0x5555555555555555ull;
        x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
        x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
        return static_cast<int>((x * 0x0101010101010101ull) >> 56);
    }
    int InformativeFrames() const;
};

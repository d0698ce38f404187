#pragma once
#include <cstdint>
#include <vector>

// What the similar-movie search knows of one movie: a perceptual hash of small grey frames
// taken at evenly spaced moments and at fixed steps of time from either end, the duration
// and the frame size. Two encodes of the same movie (another bit rate, codec, container or
// frame size of the same aspect) give frames whose hashes differ in a few bits; different
// pictures differ in about half of them.
struct MovieFingerprint {
    // Frames on a grid counted from the start and on the same grid counted from the end: the
    // multiples of a step of a power of two seconds, an eighth to a sixteenth of the movie, so that
    // either way the grid sees the whole movie. A copy cut by a few seconds at one end is
    // sampled at the same moments of the content, counted from the end it still has, and
    // so compared picture for picture even where the pictures move within a second; where
    // its shorter length halves the step, its finer grid still holds every point of the
    // coarser one. (Frames spread evenly over each length fell on other moments in such a
    // copy.)
    static constexpr int kGridParts = 16;     // the step is the smallest power of two at least a sixteenth
    static constexpr int kFramesPerEnd = 8;
    // As many seeks as a 4 x 4 preview grid, at most.
    static constexpr int kFrameCount = 2 * kFramesPerEnd;
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

    // The moments to take frames at, in order: up to kFramesPerEnd multiples of GridStep from
    // the start, and as many from the end (a moment on both grids once): 8 to 16 frames.
    static std::vector<int64_t> SampleTimes(int64_t duration);
    // The smallest power of two seconds (fractions of a second too) that is at least
    // duration / kGridParts.
    static int64_t GridStep(int64_t duration);
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

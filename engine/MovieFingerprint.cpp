#include "engine/MovieFingerprint.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr int kLowFrequencies = 8;
constexpr double kFlatDeviation = 3.0;  // grey levels: less than this is one colour

// The first kLowFrequencies coefficients of a 32-point DCT-II, as a table.
const std::array<std::array<double, MovieFingerprint::kGreySide>, kLowFrequencies>& CosineTable()
{
    static const auto table = [] {
        std::array<std::array<double, MovieFingerprint::kGreySide>, kLowFrequencies> values{};
        const double pi = std::acos(-1.0);
        for (int k = 0; k < kLowFrequencies; ++k)
            for (int n = 0; n < MovieFingerprint::kGreySide; ++n)
                values[k][n] = std::cos(pi * k * (2 * n + 1) / (2.0 * MovieFingerprint::kGreySide));
        return values;
    }();
    return table;
}

}  // namespace

int64_t MovieFingerprint::GridStep(int64_t duration)
{
    int64_t step = 10000000;  // 1 s
    while (step < duration && step * kGridParts < duration) step *= 2;
    while (step > 1 && (step / 2) * kGridParts >= duration) step /= 2;
    return step;
}

std::vector<int64_t> MovieFingerprint::SampleTimes(int64_t duration)
{
    std::vector<int64_t> times;
    if (duration <= 0) return times;
    const int64_t step = GridStep(duration);
    for (int64_t k = 1; k <= kFramesPerEnd && k * step < duration; ++k) {
        times.push_back(k * step);
        times.push_back(duration - k * step);
    }
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    return times;
}

MovieFingerprint::Frame MovieFingerprint::HashGreyFrame(const uint8_t* grey)
{
    constexpr int side = kGreySide;
    const auto& cosine = CosineTable();
    double sum = 0, squares = 0;
    for (int i = 0; i < kGreyPixels; ++i) {
        sum += grey[i];
        squares += double(grey[i]) * grey[i];
    }
    const double mean = sum / kGreyPixels;
    Frame frame;
    frame.isFlat = std::sqrt(std::max(0.0, squares / kGreyPixels - mean * mean)) < kFlatDeviation;

    // Separable DCT, only the low 8 x 8 corner: rows first, then columns.
    double rows[side][kLowFrequencies] = {};
    for (int y = 0; y < side; ++y)
        for (int k = 0; k < kLowFrequencies; ++k) {
            double value = 0;
            for (int x = 0; x < side; ++x) value += grey[y * side + x] * cosine[k][x];
            rows[y][k] = value;
        }
    std::array<double, kLowFrequencies * kLowFrequencies - 1> coefficients{};
    int at = 0;
    for (int v = 0; v < kLowFrequencies; ++v)
        for (int u = 0; u < kLowFrequencies; ++u) {
            if (u == 0 && v == 0) continue;  // the mean brightness: a re-encode may shift it
            double value = 0;
            for (int y = 0; y < side; ++y) value += rows[y][u] * cosine[v][y];
            coefficients[at++] = value;
        }
    auto sorted = coefficients;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double median = sorted[sorted.size() / 2];
    for (size_t i = 0; i < coefficients.size(); ++i)
        if (coefficients[i] > median) frame.hash |= uint64_t(1) << i;
    return frame;
}

int MovieFingerprint::InformativeFrames() const
{
    return static_cast<int>(std::count_if(frames.begin(), frames.end(), [](const Frame& f) { return !f.isFlat; }));
}

#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Gdiplus {
class Bitmap;
}
class DShowMovieFrameDecode_CL;

class DecodoRequestItemBase_CL {
public:
    virtual ~DecodoRequestItemBase_CL() = default;
};

// A queued movie decode request, and also the result posted for each of its frames (a
// copy of the request at that moment with its own image).
class MovieDecodoRequestItem_CL : public DecodoRequestItemBase_CL {
public:
    static constexpr int kMovieFile = 1;

    MovieDecodoRequestItem_CL();
    ~MovieDecodoRequestItem_CL() override;
    // A copy of everything but the image.
    std::unique_ptr<MovieDecodoRequestItem_CL> CopyWithoutImage() const;

    int requestKind = kMovieFile;
    int requestId = 0;
    int requestKey = 0;
    DShowMovieFrameDecode_CL* decoder = nullptr;
    std::unique_ptr<Gdiplus::Bitmap> image;
    int queueLength = 0;
    std::wstring moviePath;
    std::vector<int64_t> frameTimes;
    int64_t duration = -1;
    int frameNumber = 0;
    int isErrorImage = 0;
};

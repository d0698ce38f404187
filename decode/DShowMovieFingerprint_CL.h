#pragma once
#include <windows.h>

#include <string>

#include "decode/DShowMovieFrameDecode_CL.h"
#include "engine/MovieFingerprint.h"

namespace Gdiplus {
class Bitmap;
}

// Takes a movie's fingerprint through the preview's own decoding: the movie opened as the
// paused graph with the capture renderer, a frame sought at each sampling moment, each
// reduced to 32 x 32 grey pixels and hashed. One object per thread (it holds a decoder).
class DShowMovieFingerprint_CL {
public:
    // `cancel`: an event that ends the work on the movie at hand at once (may be null).
    explicit DShowMovieFingerprint_CL(HANDLE cancel = nullptr);

    // The fingerprint; isDecodable false when the movie cannot be opened (or its graph not
    // built within the decoder's time limit), has no length, or gives too few frames.
    MovieFingerprint Take(const std::wstring& moviePath);

    // The picture reduced to kGreySide x kGreySide grey pixels (BT.601 luma, box filter).
    static bool GreyFrame(Gdiplus::Bitmap& image, uint8_t* grey);

private:
    DShowMovieFrameDecode_CL decoder;
};

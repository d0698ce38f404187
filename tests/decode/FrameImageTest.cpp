#include <gtest/gtest.h>

#include <windows.h>
#include <cstring>
#include <vector>
#include <dshow.h>
#include <dvdmedia.h>
#include <objbase.h>
#include <uuids.h>

#include "decode/DShowMovieFrameDecode_CL.h"
#include "decode/DShowSampleRenderer.h"
#include "decode/FrameDecodeSampleGrabberCB.h"
#include "decode/FrameInfo_CL.h"
#include "decode/PictureLoader_CL.h"
#include "core/GdiPlus.h"
#include "support/TestFolder.h"

namespace {

struct Gdi {
    Gdi()
    {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token, &input, nullptr);
    }
    ULONG_PTR token = 0;
};
void PrepareGdiplus()
{
    static Gdi gdi;
    (void)gdi;
}

uint32_t Pixel(Gdiplus::Bitmap& image, int x, int y)
{
    Gdiplus::Color color;
    image.GetPixel(x, y, &color);
    return color.GetValue() & 0xFFFFFF;
}

}  // namespace

TEST(FrameCapture, Yuy2ConvertsWithStudioRangeBt601)
{
    EXPECT_EQ(FrameDecodeSampleGrabberCB::Yuy2ToRgb(16, 128, 128), 0x000000u);
    EXPECT_EQ(FrameDecodeSampleGrabberCB::Yuy2ToRgb(235, 128, 128), 0xFFFFFFu);
    EXPECT_EQ(FrameDecodeSampleGrabberCB::Yuy2ToRgb(81, 90, 240), 0xFF0000u);
}

TEST(FrameCapture, SamplesBecomeImagesWithTheirRowStrideAndOnlyWhenLongEnough)
{
    PrepareGdiplus();
    // RGB32, 2 x 2: rows A (red) then B (blue) in memory. A positive height is bottom-up
    // (B on top), a negative one top-down (A on top).
    const uint32_t rgb[] = {0x00FF0000, 0x00FF0000, 0x000000FF, 0x000000FF};
    auto image = FrameDecodeSampleGrabberCB::ImageFromSample(reinterpret_cast<const uint8_t*>(rgb), sizeof(rgb), 2, 2, true);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(Pixel(*image, 0, 0), 0x0000FFu);
    EXPECT_EQ(Pixel(*image, 0, 1), 0xFF0000u);
    image = FrameDecodeSampleGrabberCB::ImageFromSample(reinterpret_cast<const uint8_t*>(rgb), sizeof(rgb), 2, -2, true);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetHeight(), 2u) << "a negative height counts as its absolute value";
    EXPECT_EQ(Pixel(*image, 0, 0), 0xFF0000u);
    EXPECT_EQ(Pixel(*image, 0, 1), 0x0000FFu);

    // YUY2, 3 x 2 (odd width): top-down, each row two whole pixel pairs (8 bytes, as the
    // platform pads rows to 4 bytes). Row 0 white with a red last pixel, row 1 red.
    const uint8_t yuy2[] = {235, 128, 235, 128, 81, 90, 16, 240, 81, 90, 81, 240, 81, 90, 81, 240};
    image = FrameDecodeSampleGrabberCB::ImageFromSample(yuy2, sizeof(yuy2), 3, 2, false);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(Pixel(*image, 1, 0), 0xFFFFFFu);
    EXPECT_EQ(Pixel(*image, 2, 0), 0xFF0000u) << "the odd last column is converted too";
    EXPECT_EQ(Pixel(*image, 0, 1), 0xFF0000u) << "row 1 starts after the padding";
    EXPECT_EQ(Pixel(*image, 2, 1), 0xFF0000u);

    // Rows padded further than 4 bytes: the stride comes from the sample's length.
    std::vector<uint8_t> wide(2 * 16, 0);
    memcpy(wide.data(), yuy2, 8);
    memcpy(wide.data() + 16, yuy2 + 8, 8);
    image = FrameDecodeSampleGrabberCB::ImageFromSample(wide.data(), int64_t(wide.size()), 3, 2, false);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(Pixel(*image, 0, 1), 0xFF0000u);

    // A format block that claims more than the sample holds is not read past the sample.
    EXPECT_EQ(FrameDecodeSampleGrabberCB::ImageFromSample(yuy2, sizeof(yuy2) - 1, 3, 2, false), nullptr);
    EXPECT_EQ(FrameDecodeSampleGrabberCB::ImageFromSample(yuy2, sizeof(yuy2), 1920, 1080, false), nullptr);
    EXPECT_EQ(FrameDecodeSampleGrabberCB::ImageFromSample(yuy2, sizeof(yuy2), 0, 2, false), nullptr);
    EXPECT_EQ(FrameDecodeSampleGrabberCB::ImageFromSample(yuy2, 1000000, 65536, 65536, false), nullptr);
}

TEST(FrameCapture, RendererTakesYuy2OrRgb32AndReportsVideoInfo2)
{
    ::CoInitialize(nullptr);
    DShowMovieHelper_CL helper;
    ASSERT_EQ(helper.Initialize(MEDIASUBTYPE_YUY2), S_OK);
    DShowSampleRenderer* renderer = helper.GetRenderer();

    VIDEOINFOHEADER info = {};
    info.AvgTimePerFrame = 400000;
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 320;
    info.bmiHeader.biHeight = 240;
    info.bmiHeader.biBitCount = 16;
    info.bmiHeader.biCompression = MAKEFOURCC('Y', 'U', 'Y', '2');
    AM_MEDIA_TYPE offer = {};
    offer.majortype = MEDIATYPE_Video;
    offer.formattype = FORMAT_VideoInfo;
    offer.cbFormat = sizeof(info);
    offer.pbFormat = reinterpret_cast<BYTE*>(&info);
    for (const GUID& refused : {MEDIASUBTYPE_RGB24, MEDIASUBTYPE_NV12}) {
        offer.subtype = refused;
        EXPECT_EQ(renderer->CheckMediaType(offer), S_FALSE);
    }
    offer.subtype = MEDIASUBTYPE_YUY2;
    EXPECT_EQ(renderer->CheckMediaType(offer), S_OK);

    IPin* pin = nullptr;
    ASSERT_EQ(renderer->FindPin(L"In", &pin), S_OK);
    ASSERT_EQ(pin->ReceiveConnection(pin, &offer), S_OK);
    AM_MEDIA_TYPE connected = {};
    ASSERT_EQ(helper.GetGrabber()->GetConnectedMediaType(&connected), S_OK);
    EXPECT_TRUE(connected.formattype == FORMAT_VideoInfo2);
    ASSERT_EQ(connected.cbFormat, 112u);
    const auto* header = reinterpret_cast<const VIDEOINFOHEADER2*>(connected.pbFormat);
    EXPECT_EQ(memcmp(&header->bmiHeader, &info.bmiHeader, sizeof(BITMAPINFOHEADER)), 0);
    EXPECT_EQ(header->AvgTimePerFrame, 400000);
    EXPECT_EQ(renderer->IsRGB32(), 0);
    FreeMediaType(connected);
    pin->Disconnect();  // the pin was its own peer
    pin->Release();
    helper.ReleaseAll();
}

TEST(FrameCanvas, CellsOfEveryGridSideAndFramesStretchedIntoThem)
{
    PrepareGdiplus();
    FrameInfo_CL frames;
    int x, y, w, h;
    const int expected[4][2] = {{2048, 1536}, {1365, 1024}, {1024, 768}, {819, 614}};
    for (int n = 2; n <= 5; ++n) {
        frames.SetWidthCount(n);
        frames.GetCell(0, x, y, w, h);
        EXPECT_EQ(w, expected[n - 2][0]);
        EXPECT_EQ(h, expected[n - 2][1]);
    }
    frames.SetWidthCount(4);
    frames.GetCell(5, x, y, w, h);
    EXPECT_EQ(x, 1024);
    EXPECT_EQ(y, 768);

    ASSERT_NE(frames.CreateFrameBitmap(), nullptr);
    auto red = std::make_unique<Gdiplus::Bitmap>(1920, 1080, PixelFormat32bppRGB);
    Gdiplus::Graphics(red.get()).Clear(Gdiplus::Color(255, 255, 0, 0));
    frames.SetFrame(5, std::move(red));
    ASSERT_NE(frames.GetFrame(5), nullptr);
    EXPECT_EQ(frames.GetFrame(5)->GetWidth(), 1024u) << "kept at its cell's size, not its own";
    EXPECT_EQ(frames.GetFrame(5)->GetHeight(), 768u);
    auto* canvas = static_cast<Gdiplus::Bitmap*>(frames.GetDisplayImage());
    EXPECT_EQ(canvas->GetWidth(), 4096u);
    EXPECT_EQ(Pixel(*canvas, 1024 + 512, 768 + 384), 0xFF0000u);
    EXPECT_EQ(Pixel(*canvas, 1023, 767), 0x000000u);
    EXPECT_EQ(Pixel(*canvas, 2047 + 2, 1535 + 2), 0x000000u);

    frames.SetWidthCount(5);
    frames.ClearFrames();
    frames.CreateFrameBitmap();
    auto white = std::make_unique<Gdiplus::Bitmap>(64, 48, PixelFormat32bppRGB);
    Gdiplus::Graphics(white.get()).Clear(Gdiplus::Color(255, 255, 255, 255));
    frames.SetFrame(24, std::move(white));
    canvas = static_cast<Gdiplus::Bitmap*>(frames.GetDisplayImage());
    frames.GetCell(24, x, y, w, h);
    EXPECT_EQ(x, 3276);
    EXPECT_EQ(y, 2456);
    EXPECT_EQ(Pixel(*canvas, 3276 + 400, 2456 + 300), 0xFFFFFFu);
    EXPECT_EQ(Pixel(*canvas, 4095, 2456 + 300), 0x000000u) << "the last column stays black";
    EXPECT_EQ(Pixel(*canvas, 3276 + 400, 3071), 0x000000u) << "the last rows stay black";
}

TEST(FrameSampling, EvenlySpacedPointsAndTheirExceptions)
{
    const int64_t hour = 36000000000;
    std::vector<int64_t> four(4, -1);
    DShowMovieFrameDecode_CL::ResolveFrameTimes(hour, four);
    EXPECT_EQ(four, (std::vector<int64_t>{6000000000, 12000000000, 18000000000, 24000000000}));

    std::vector<int64_t> many(25, -1);
    DShowMovieFrameDecode_CL::ResolveFrameTimes(hour, many);
    EXPECT_EQ(many.back(), 25 * (hour / 27));

    std::vector<int64_t> tiny(4, -1);
    DShowMovieFrameDecode_CL::ResolveFrameTimes(5, tiny);
    EXPECT_EQ(tiny, std::vector<int64_t>(4, 0));

    std::vector<int64_t> mixed = {-1, hour * 2, 7, -1};
    DShowMovieFrameDecode_CL::ResolveFrameTimes(hour, mixed);
    EXPECT_EQ(mixed, (std::vector<int64_t>{6000000000, 12000000000, 7, 24000000000})) << "caller's order kept";

    std::vector<int64_t> random = {-1, -2, -1, -2};
    DShowMovieFrameDecode_CL::ResolveFrameTimes(hour, random);
    EXPECT_TRUE(std::is_sorted(random.begin(), random.end()));
    for (int64_t t : random) EXPECT_LE(t, hour);
}

namespace {

bool SaveAs(Gdiplus::Bitmap& image, const std::wstring& path, const wchar_t* mimeType)
{
    UINT count = 0, bytes = 0;
    Gdiplus::GetImageEncodersSize(&count, &bytes);
    std::vector<uint8_t> buffer(bytes);
    auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    Gdiplus::GetImageEncoders(count, bytes, encoders);
    for (UINT i = 0; i < count; ++i)
        if (wcscmp(encoders[i].MimeType, mimeType) == 0) return image.Save(path.c_str(), &encoders[i].Clsid, nullptr) == Gdiplus::Ok;
    return false;
}

}  // namespace

// The size of a picture is read from its header before anything decodes it: the platform's
// decoders take a whole picture into memory as soon as they open it.
TEST(PicturePreview, SizesFromHeadersAndPicturesShrunkToTheAreaOrRefusedWhenHuge)
{
    PrepareGdiplus();
    ::CoInitialize(nullptr);
    TestFolder folder;
    // Left half red, right half blue.
    Gdiplus::Bitmap halves(300, 200, PixelFormat32bppRGB);
    {
        Gdiplus::Graphics graphics(&halves);
        graphics.Clear(Gdiplus::Color(255, 0, 0, 255));
        Gdiplus::SolidBrush red(Gdiplus::Color(255, 255, 0, 0));
        graphics.FillRectangle(&red, 0, 0, 150, 200);
    }
    // GIF is left out: this Wine's GDI+ saves a GIF as a 24-byte file that holds no picture.
    for (const wchar_t* type : {L"image/jpeg", L"image/png", L"image/bmp"}) {
        SCOPED_TRACE(testing::Message() << std::string(type, type + wcslen(type)));
        const std::wstring path = folder / L"halves.pic";
        ASSERT_TRUE(SaveAs(halves, path, type));
        int64_t width = 0, height = 0;
        EXPECT_TRUE(PictureLoader_CL::ReadPictureSize(path, width, height));
        EXPECT_EQ(width, 300);
        EXPECT_EQ(height, 200);
        bool isTooLarge = true;
        std::unique_ptr<Gdiplus::Bitmap> shrunk = PictureLoader_CL::LoadScaled(path, 150, 150, isTooLarge);
        EXPECT_FALSE(isTooLarge);
        ASSERT_NE(shrunk, nullptr);
        EXPECT_EQ(shrunk->GetWidth(), 150u);
        EXPECT_EQ(shrunk->GetHeight(), 100u);
        Gdiplus::Color left, right;
        shrunk->GetPixel(30, 50, &left);
        shrunk->GetPixel(120, 50, &right);
        EXPECT_GT(left.GetR(), 200);
        EXPECT_LT(left.GetB(), 40);
        EXPECT_GT(right.GetB(), 200);
        EXPECT_LT(right.GetR(), 40);
    }

    // A top-down bitmap, and one whose header claims 40000 x 40000 pixels: refused unread.
    std::vector<uint8_t> bitmap = Bitmap24(8, 6, [](int, int) { return RGB(0, 255, 0); });
    int32_t rows = -6, huge = 40000;
    memcpy(bitmap.data() + 22, &rows, 4);
    ASSERT_TRUE(WriteFileBytes(folder / L"topdown.bmp", bitmap));
    memcpy(bitmap.data() + 18, &huge, 4);
    memcpy(bitmap.data() + 22, &huge, 4);
    ASSERT_TRUE(WriteFileBytes(folder / L"huge.bmp", bitmap));
    int64_t width = 0, height = 0;
    EXPECT_TRUE(PictureLoader_CL::ReadPictureSize(folder / L"topdown.bmp", width, height));
    EXPECT_EQ(height, 6);
    bool isTooLarge = false;
    EXPECT_EQ(PictureLoader_CL::LoadScaled(folder / L"huge.bmp", 100, 100, isTooLarge), nullptr);
    EXPECT_TRUE(isTooLarge);
    ASSERT_TRUE(WriteFileBytes(folder / L"text.png", "not a picture", 13));
    EXPECT_FALSE(PictureLoader_CL::ReadPictureSize(folder / L"text.png", width, height));
    EXPECT_EQ(PictureLoader_CL::LoadScaled(folder / L"text.png", 100, 100, isTooLarge), nullptr);
    EXPECT_FALSE(isTooLarge) << "unreadable, not too large";
}

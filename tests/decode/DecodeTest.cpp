// Preview decoding under the real DirectShow of the platform, on movies that ffmpeg made
// for the test run (tools/make-test-movies.sh): grey pictures that brighten once a second.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <set>

#include "core/AppMessages.h"
#include "core/Log_CL.h"
#include "decode/DShowMovieFrameDecodeThread_CL.h"
#include "decode/DShowMaskedFileSource_CL.h"
#include "decode/DShowMovieFrameDecode_CL.h"
#include "decode/DShowSampleRenderer.h"
#include "decode/FrameInfo_CL.h"
#include "decode/VideoTrackMask_CL.h"
#include "support/CliRunner.h"
#include "support/GuiTestSupport.h"
#include "support/RemoteProgram.h"
#include "support/TestFolder.h"
#include "core/GdiPlus.h"

namespace {

constexpr int64_t kSecond = 10000000;

std::wstring Movie(const wchar_t* name)
{
    std::wstring bin = BinFolder();
    return bin.substr(0, bin.find_last_of(L'\\')) + L"\\test-movies\\" + name;
}

// GDI+ and COM for the test process.
struct Environment {
    Environment()
    {
        ::CoInitialize(nullptr);
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token, &input, nullptr);
    }
    ULONG_PTR token = 0;
};
void Prepare()
{
    static Environment environment;
    (void)environment;
}

// The whole second a decoded frame shows, from its centre pixel's brightness.
int SecondShown(Gdiplus::Bitmap& frame)
{
    Gdiplus::Color pixel;
    frame.GetPixel(frame.GetWidth() / 2, frame.GetHeight() / 2, &pixel);
    double luma = 16 + (pixel.GetR() + pixel.GetG() + pixel.GetB()) / 3.0 * 219.0 / 255.0;
    return static_cast<int>(std::lround((luma - 16) / 28.0));
}

// A copy of a test movie that no other test process opens meanwhile.
std::wstring PrivateCopy(const TestFolder& folder, const wchar_t* name)
{
    const std::wstring copy = folder / name;
    ::CopyFileW(Movie(name).c_str(), copy.c_str(), FALSE);
    return copy;
}

// After a movie is let go, nothing of its graph lives on: no capture renderer, and no
// reader holding the file (which an exclusive open would find).
void ExpectGraphGone(const std::wstring& movie)
{
    EXPECT_EQ(DShowSampleRenderer::LiveCount(), 0) << "a renderer outlived its graph";
    FileHandle alone(::CreateFileW(movie.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(alone) << "the file is still held open, error " << ::GetLastError();
}

class MovieFormats : public ::testing::TestWithParam<const wchar_t*> {};

}  // namespace

TEST_P(MovieFormats, FramesComeFromTheRequestedMomentsAndNoAudioIsPlayed)
{
    Prepare();
    TestFolder folder;
    const std::wstring movie = PrivateCopy(folder, GetParam());
    DShowMovieFrameDecode_CL decoder;
    ASSERT_EQ(decoder.OpenMovie(movie), S_OK);
    int64_t duration = decoder.GetMovieDuration(TIME_FORMAT_MEDIA_TIME);
    EXPECT_NEAR(double(duration), double(8 * kSecond), double(kSecond) / 4) << "100-ns units";
    EXPECT_EQ(decoder.GetHelper().HasFilterNamed(L"Default DirectSound Device"), 0);
    // With a (fake) sound device the platform adds an audio renderer for movies with sound,
    // which must be gone again; without one there is none to remove.
    bool hasSound = std::wstring(GetParam()) != L"steps.mp4" && std::wstring(GetParam()) != L"steps.webm";
    bool soundDevice = ::GetEnvironmentVariableW(L"ALSA_CONFIG_PATH", nullptr, 0) > 0;
    EXPECT_EQ(decoder.GetHelper().RemovedAudioRenderer(), hasSound && soundDevice);
    EXPECT_EQ(decoder.GetHelper().HasFilterNamed(L"Sample Grabber"), 1);

    std::vector<int64_t> times(6, DShowMovieFrameDecode_CL::kNextEvenPoint);
    DShowMovieFrameDecode_CL::ResolveFrameTimes(duration, times);
    int previous = -1;
    for (int64_t time : times) {
        std::unique_ptr<Gdiplus::Bitmap> frame = decoder.DecodeFrameAt(time);
        ASSERT_NE(frame, nullptr) << "no frame at " << time;
        EXPECT_EQ(frame->GetWidth(), 160u);
        EXPECT_EQ(frame->GetHeight(), 120u);
        int shown = SecondShown(*frame);
        EXPECT_LE(std::abs(shown - static_cast<int>(time / kSecond)), 1) << "frame at " << time << " shows " << shown;
        EXPECT_GE(shown, previous);
        previous = shown;
    }
    decoder.Finalize();
    ExpectGraphGone(movie);
}

INSTANTIATE_TEST_SUITE_P(Containers, MovieFormats,
                         ::testing::Values(L"steps.avi", L"steps.mp4", L"steps.mpg", L"steps.mkv", L"steps.webm"));

namespace {

// The preview decode thread with a gate: a gate message holds its loop until the test opens
// it, so whatever is posted after the gate (a cancellation) waits behind it however the
// threads are scheduled.
class GatedDecodeThread : public DShowMovieFrameDecodeThread_CL {
public:
    static constexpr UINT kGateMessage = ThreadBase_CL::kLastMessage;

    ~GatedDecodeThread() override
    {
        Open();
        Stop();
    }
    void Close()
    {
        ::ResetEvent(opened.Get());
        Post(kGateMessage, 0, 0);
    }
    void Open() { ::SetEvent(opened.Get()); }
    int OnThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == kGateMessage) return static_cast<int>(::WaitForSingleObject(opened.Get(), 60000));
        return DShowMovieFrameDecodeThread_CL::OnThreadMessage(message, wParam, lParam);
    }

private:
    KernelHandle opened{::CreateEventW(nullptr, TRUE, TRUE, nullptr)};
};

// Receives the decode thread's results on a message-only window of the test thread.
struct ResultSink {
    ResultSink() : window(::CreateWindowExW(0, L"Static", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr))
    {
        Prepare();
        thread.SetErrorImagePath(BinFolder() + L"\\decode_err_image.jpg");
        thread.Start();
        decoder.Attach(&thread, window);
    }
    ~ResultSink()
    {
        thread.Open();
        thread.Stop();
        ::DestroyWindow(window);
    }
    // Takes posted results until `until` holds or the time runs out; what is already posted
    // is taken at least once, however late this thread gets to run.
    void Pump(int milliseconds, const std::function<bool()>& until)
    {
        const auto end = ::GetTickCount64() + milliseconds;
        for (;;) {
            MSG message;
            while (::PeekMessageW(&message, window, 0, 0, PM_REMOVE)) {
                if (message.message == MSG_DECODE_RESULT) {
                    results.emplace_back(reinterpret_cast<MovieDecodoRequestItem_CL*>(message.lParam));
                    ids.push_back(static_cast<int>(message.wParam));
                } else if (message.message == MSG_DECODE_CANCELED) {
                    ++canceledNotices;
                }
            }
            if (until() || ::GetTickCount64() >= end) return;
            ::Sleep(5);
        }
    }

    HWND window;
    GatedDecodeThread thread;
    DShowMovieFrameDecode_CL decoder;
    std::vector<std::unique_ptr<MovieDecodoRequestItem_CL>> results;
    std::vector<int> ids;
    int canceledNotices = 0;
};

}  // namespace

TEST(DecodeThread, AMovieThatCannotBeOpenedGivesTheErrorImageForEveryFrame)
{
    ResultSink sink;
    int id = sink.decoder.RequestMovieFrames(Movie(L"broken.avi"), std::vector<int64_t>(16, -1), 7, 0);
    EXPECT_GT(id, 0);
    sink.Pump(60000, [&] { return sink.results.size() >= 16; });
    ASSERT_EQ(sink.results.size(), 16u);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(sink.results[i]->frameNumber, i + 1);
        EXPECT_EQ(sink.results[i]->isErrorImage, 1);
        EXPECT_EQ(sink.results[i]->duration, -1);
        EXPECT_EQ(sink.results[i]->frameTimes, std::vector<int64_t>(16, -1)) << "times stay as given";
        ASSERT_NE(sink.results[i]->image, nullptr);
        EXPECT_EQ(sink.results[i]->image->GetWidth(), 320u) << "a copy of the error image";
        EXPECT_EQ(sink.ids[i], id);
    }
}

TEST(DecodeThread, RequestsWithTheKeyOfAQueuedOneReplaceIt)
{
    ResultSink sink;
    int first = sink.decoder.RequestMovieFrames(Movie(L"steps.mkv"), std::vector<int64_t>(25, -1), 1, 0);
    sink.Pump(60000, [&] { return !sink.results.empty(); });  // the first request is being decoded now
    int queued = sink.decoder.RequestMovieFrames(Movie(L"steps.mp4"), std::vector<int64_t>(4, -1), 2, 0);
    int replacing = sink.decoder.RequestMovieFrames(Movie(L"steps.webm"), std::vector<int64_t>(4, -1), 2, 0);
    EXPECT_EQ(queued, first + 1);
    EXPECT_EQ(replacing, queued + 1);
    EXPECT_EQ(sink.decoder.RequestMovieFrames(Movie(L"steps.mkv"), std::vector<int64_t>(25, -1), 1, 0), first)
        << "the running request's id, nothing queued";
    sink.Pump(120000, [&] { return sink.results.size() >= 29; });
    sink.Pump(300, [] { return false; });
    ASSERT_EQ(sink.results.size(), 29u);
    std::set<int> seen(sink.ids.begin(), sink.ids.end());
    EXPECT_EQ(seen, (std::set<int>{first, replacing}));
    EXPECT_EQ(sink.results.back()->moviePath, Movie(L"steps.webm"));
    for (const auto& result : sink.results) EXPECT_EQ(result->isErrorImage, 0);
    EXPECT_EQ(sink.decoder.pendingCount, 0);
}

TEST(DecodeThread, CancelStopsTheResultsAndIsAcknowledgedOnce)
{
    ResultSink sink;
    sink.decoder.RequestMovieFrames(Movie(L"steps.avi"), std::vector<int64_t>(25, -1), 3, 0);
    sink.decoder.RequestMovieFrames(Movie(L"steps.mp4"), std::vector<int64_t>(25, -1), 4, 0);
    sink.Pump(60000, [&] { return !sink.results.empty(); });
    ASSERT_FALSE(sink.results.empty());
    sink.thread.Close();  // the cancellation stays pending until the gate opens
    sink.decoder.CancelAllRequests();
    EXPECT_EQ(sink.decoder.RequestMovieFrames(Movie(L"steps.mp4"), std::vector<int64_t>(4, -1), 5, 0), -1)
        << "refused while the cancellation is pending";
    sink.thread.Open();
    sink.Pump(60000, [&] { return !sink.thread.IsCancelPending(); });
    sink.Pump(100, [] { return false; });  // what was posted before the cancellation took hold
    size_t atCancel = sink.results.size();
    sink.Pump(1000, [] { return false; });
    EXPECT_EQ(sink.results.size(), atCancel) << "no result after the cancellation was handled";
    EXPECT_LT(sink.results.size(), 25u);
    EXPECT_EQ(sink.canceledNotices, 1);
    EXPECT_EQ(sink.decoder.pendingCount, 0);
    EXPECT_EQ(sink.thread.GetQueueLength(), 0);

    // A stop while a graph is being built gives it up, and waits for its build to end: a
    // process that ends under one is killed in Wine's teardown. A build slowed down by a busy
    // machine may outlast the stop's grace; the stop has then waited all of it.
    sink.decoder.RequestMovieFrames(Movie(L"steps.mkv"), std::vector<int64_t>(4, -1), 6, 0);
    sink.Pump(60, [] { return false; });
    const ULONGLONG stopping = ::GetTickCount64();
    sink.thread.Stop();
    const ULONGLONG stopMs = ::GetTickCount64() - stopping;
    EXPECT_TRUE(DShowMovieHelper_CL::WaitForGraphThreads(0) || stopMs >= DShowMovieFrameDecodeThread_CL::kRenderGraceMs)
        << "the stop left a graph being built after " << stopMs << " ms";
    EXPECT_TRUE(DShowMovieHelper_CL::WaitForGraphThreads(60000)) << "the build never ended";
}

TEST(DecodeThread, RequestIdsCountUpAndSkipZero)
{
    EXPECT_EQ(DShowMovieFrameDecodeThread_CL::FollowingRequestId(1), 2);
    EXPECT_EQ(DShowMovieFrameDecodeThread_CL::FollowingRequestId(-1), 1);
    EXPECT_EQ(DShowMovieFrameDecodeThread_CL::FollowingRequestId(0x7FFFFFFF), static_cast<int>(0x80000000u));
}

TEST(ContactSheet, WritesTheCanvasAndFailsClearlyForAMovieThatCannotBeOpened)
{
    Prepare();
    TestFolder folder;
    CliResult made = RunCli(L"sheet --grid 3 \"" + Movie(L"steps.mkv") + L"\" \"" + (folder / L"sheet.png") + L"\"");
    EXPECT_EQ(made.exitCode, 0u);
    Gdiplus::Bitmap sheet((folder / L"sheet.png").c_str());
    ASSERT_EQ(sheet.GetLastStatus(), Gdiplus::Ok);
    EXPECT_EQ(sheet.GetWidth(), 4096u);
    EXPECT_EQ(sheet.GetHeight(), 3072u);
    // Cells left to right, top to bottom, brighten as the movie goes on.
    Gdiplus::Color first, last;
    sheet.GetPixel(1365 / 2, 1024 / 2, &first);
    sheet.GetPixel(2 * 1365 + 1365 / 2, 2 * 1024 + 1024 / 2, &last);
    EXPECT_LT(first.GetR() + 60, last.GetR());

    CliResult broken = RunCli(L"sheet \"" + Movie(L"broken.avi") + L"\" \"" + (folder / L"error.png") + L"\"");
    EXPECT_EQ(broken.exitCode, 1u);
    EXPECT_NE(::GetFileAttributesW((folder / L"error.png").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the sheet still shows the error image in every cell";
    EXPECT_EQ(RunCli(L"sheet --grid 7 a b").exitCode, 2u);
    EXPECT_EQ(RunCli(L"sheet \"" + (folder / L"none.avi") + L"\" out.png").exitCode, 2u);
}

// The platform hands a second video stream to a video renderer of its own (a window opened,
// and stopping the graph then hung in its parser for good), and numbers the two streams in
// an order that changes from run to run. The first stream (grey, brightening each second;
// the second is red) is previewed in every cell of every opening, nothing else renders, and
// the movie is let go at once.
TEST(ContactSheet, AMovieWithTwoVideoStreamsShowsItsFirstEveryTimeAndEnds)
{
    Prepare();
    auto isFirstStream = [](const Gdiplus::Color& pixel) { return std::abs(pixel.GetR() - pixel.GetB()) < 16; };
    for (const wchar_t* name : {L"twovideo.mkv", L"twovideo.mp4"}) {
        SCOPED_TRACE(testing::Message() << std::string(name, name + wcslen(name)));
        TestFolder folder;
        const std::wstring movie = PrivateCopy(folder, name);
        for (int opening = 0; opening < 4; ++opening) {
            DShowMovieFrameDecode_CL decoder;
            ASSERT_EQ(decoder.OpenMovie(movie), S_OK);
            EXPECT_EQ(decoder.GetHelper().HasFilterNamed(L"Video Renderer"), 0);
            EXPECT_EQ(decoder.GetHelper().RemoveOtherRenderers(), 0) << "none left after the open";
            std::unique_ptr<Gdiplus::Bitmap> frame = decoder.DecodeFrameAt(5 * kSecond);
            ASSERT_NE(frame, nullptr);
            Gdiplus::Color pixel;
            frame->GetPixel(frame->GetWidth() / 2, frame->GetHeight() / 2, &pixel);
            EXPECT_TRUE(isFirstStream(pixel)) << "opening " << opening << ": red, the second stream";
            EXPECT_EQ(SecondShown(*frame), 5);
            auto stopping = std::chrono::steady_clock::now();
            decoder.Finalize();
            EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - stopping).count(), 1.0);
            ExpectGraphGone(movie);
        }

        CliResult made = RunCli(L"sheet --grid 3 \"" + Movie(name) + L"\" \"" + (folder / L"sheet.png") + L"\"");
        EXPECT_EQ(made.exitCode, 0u) << "the sheet ends, with every frame";
        Gdiplus::Bitmap sheet((folder / L"sheet.png").c_str());
        ASSERT_EQ(sheet.GetLastStatus(), Gdiplus::Ok);
        for (int cell = 0; cell < 9; ++cell) {
            Gdiplus::Color pixel;
            sheet.GetPixel((cell % 3) * 1365 + 682, (cell / 3) * 1024 + 512, &pixel);
            EXPECT_TRUE(isFirstStream(pixel)) << "the second stream's red in cell " << cell;
            const int second = static_cast<int>(std::lround(pixel.GetR() * 219.0 / 255.0 / 28.0));
            EXPECT_LE(std::abs(second - (cell + 1) * 8 / 11), 1) << "cell " << cell;
        }
    }
}

// The bytes that hide the later video tracks from the parser, and reads through them.
TEST(ContactSheet, OnlyLaterVideoTracksAreMaskedAndReadsSeeTheMaskWhereverTheyStart)
{
    Prepare();
    auto open = [](const std::wstring& path) {
        return FileHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    };
    struct Case {
        const wchar_t* name;
        std::string original;
    };
    for (const Case& movie : {Case{L"twovideo.mkv", "V_MPEG4/ISO/AVC"}, Case{L"twovideo.mp4", "vide"}}) {
        SCOPED_TRACE(testing::Message() << std::string(movie.name, movie.name + wcslen(movie.name)));
        FileHandle file = open(Movie(movie.name));
        ASSERT_TRUE(file);
        VideoTrackMask_CL mask = VideoTrackMask_CL::ForFile(file.Get());
        EXPECT_EQ(mask.VideoTracks(), 2);
        ASSERT_EQ(mask.Patches().size(), 1u);
        const VideoTrackMask_CL::Patch patch = mask.Patches()[0];
        std::string around(24, '\0');
        ASSERT_TRUE(ReadFileAt(file.Get(), patch.offset - 3, around.data(), static_cast<DWORD>(around.size())));
        EXPECT_EQ(around.substr(3, movie.original.size()), movie.original) << "the second video track's, not the first's";
        std::string masked = around;
        masked.replace(3, patch.bytes.size(), patch.bytes);
        EXPECT_NE(masked, around);

        // Reads that take in the masked bytes, start in their last one, end before them.
        auto* source = new DShowMaskedFileSource_CL(std::move(file), mask);
        Microsoft::WRL::ComPtr<IAsyncReader> reader;
        ASSERT_EQ(source->GetOutputPin()->QueryInterface(IID_IAsyncReader, &reader), S_OK);
        source->Release();
        auto read = [&](LONGLONG offset, LONG size, HRESULT expected = S_OK) {
            std::string bytes(size, '\0');
            EXPECT_EQ(reader->SyncRead(offset, size, reinterpret_cast<BYTE*>(bytes.data())), expected);
            return bytes;
        };
        const LONGLONG at = static_cast<LONGLONG>(patch.offset);
        EXPECT_EQ(read(at - 3, 24), masked);
        EXPECT_EQ(read(at + patch.bytes.size() - 1, 4), masked.substr(3 + patch.bytes.size() - 1, 4));
        EXPECT_EQ(read(at - 3, 3), around.substr(0, 3));
        LONGLONG total = 0, available = 0;
        reader->Length(&total, &available);
        read(total - 4, 16, S_FALSE);  // a read past the end is short
    }
    // One video track, another container, damaged or cut structures: nothing is masked.
    for (const wchar_t* name : {L"steps.mkv", L"steps.mp4", L"steps.webm", L"steps.avi", L"half.mkv", L"broken.avi", L"tiny.mp4"}) {
        FileHandle file = open(Movie(name));
        ASSERT_TRUE(file);
        EXPECT_TRUE(VideoTrackMask_CL::ForFile(file.Get()).IsEmpty()) << std::string(name, name + wcslen(name));
    }
    // The movie box cut short (its header still claiming the whole size).
    TestFolder folder;
    FileHandle whole = open(Movie(L"twovideo.mp4"));
    LARGE_INTEGER size = {};
    ::GetFileSizeEx(whole.Get(), &size);
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    ASSERT_TRUE(ReadFileAt(whole.Get(), 0, bytes.data(), static_cast<DWORD>(bytes.size())));
    const size_t movieBox = bytes.find("moov") - 4;
    size_t movieSize = 0;
    for (int i = 0; i < 4; ++i) movieSize = movieSize << 8 | static_cast<uint8_t>(bytes[movieBox + i]);
    for (const size_t kept : {size_t(8), movieSize / 2, movieSize - 1}) {
        const std::wstring path = folder / (L"cut" + std::to_wstring(kept) + L".mp4");
        const std::string cut = bytes.substr(0, movieBox + kept);
        FileHandle out(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(out.Get(), cut.data(), static_cast<DWORD>(cut.size()), &written, nullptr));
        out.Reset();
        EXPECT_TRUE(VideoTrackMask_CL::ForFile(open(path).Get()).IsEmpty()) << "movie box cut to " << kept << " bytes";
    }
}

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Mean absolute difference of the colour channels over a 16 x 16 grid of sample points.
double MeanDifference(Gdiplus::Bitmap& a, Gdiplus::Bitmap& b)
{
    double sum = 0;
    for (int i = 0; i < 16; ++i) {
        for (int j = 0; j < 16; ++j) {
            Gdiplus::Color pa, pb;
            a.GetPixel(a.GetWidth() * (2 * i + 1) / 32, a.GetHeight() * (2 * j + 1) / 32, &pa);
            b.GetPixel(b.GetWidth() * (2 * i + 1) / 32, b.GetHeight() * (2 * j + 1) / 32, &pb);
            sum += std::abs(pa.GetR() - pb.GetR()) + std::abs(pa.GetG() - pb.GetG()) + std::abs(pa.GetB() - pb.GetB());
        }
    }
    return sum / (16 * 16 * 3);
}

}  // namespace

// A seek past the playable data ends the stream at once: that cell gets the error image and
// the next one is tried, so a damaged movie takes seconds, not 10 s per frame.
TEST(DecodeThread, DamagedMoviesGiveTheirFramesWhereDataExistsAndErrorCellsElsewhereQuickly)
{
    struct Case {
        const wchar_t* name;
        int fewestFrames, fewestErrors;
    };
    TestFolder folder;
    const std::wstring log = folder / L"log.txt";
    TheLog().SetPath(log);
    struct LogOff {
        ~LogOff() { TheLog().SetPath(L""); }
    } logOff;
    for (const Case& movie : {Case{L"half.mp4", 5, 4}, Case{L"half.mkv", 5, 4}, Case{L"steps.mpg", 12, 0}}) {
        SCOPED_TRACE(testing::Message() << std::string(movie.name, movie.name + wcslen(movie.name)));
        ::DeleteFileW(log.c_str());
        ResultSink sink;
        auto start = std::chrono::steady_clock::now();
        sink.decoder.RequestMovieFrames(Movie(movie.name), std::vector<int64_t>(16, -1), 1, 0);
        sink.Pump(60000, [&] { return sink.results.size() >= 16; });
        const double seconds = SecondsSince(start);
        ASSERT_EQ(sink.results.size(), 16u);
        // No frame was waited for in vain (10 s each): the seeks past the data ended the
        // stream at once. The bound only catches a hang; a busy machine took 20 s here.
        const std::wstring told = BytesAsWide(ReadFileBytes(log));
        EXPECT_EQ(told.find(L"フレーム待ちタイムアウト"), std::wstring::npos);
        if (movie.fewestErrors > 0) {
            EXPECT_NE(told.find(L"ストリーム終端"), std::wstring::npos);
        }
        EXPECT_LT(seconds, 30.0);
        int frames = 0, errors = 0, previous = -1;
        for (const auto& result : sink.results) {
            ASSERT_NE(result->image, nullptr);
            if (result->isErrorImage) {
                ++errors;
                continue;
            }
            ++frames;
            const int64_t time = result->frameTimes[result->frameNumber - 1];
            const int shown = SecondShown(*result->image);
            EXPECT_LE(std::abs(shown - static_cast<int>(time / kSecond)), 1) << "frame at " << time << " shows " << shown;
            EXPECT_GE(shown, previous);
            previous = shown;
        }
        EXPECT_GE(frames, movie.fewestFrames);
        EXPECT_GE(errors, movie.fewestErrors);
        // Error cells come only after the data ends.
        for (size_t i = 1; i < sink.results.size(); ++i) {
            if (sink.results[i - 1]->isErrorImage) {
                EXPECT_TRUE(sink.results[i]->isErrorImage) << "cell " << i;
            }
        }
    }
}

// This Wine's MP4 parser never returns from RenderFile on a file of little more than its
// index: the decode thread must give such a movie up after its wait or on a cancel, go on
// with the next one, and still stop at once. (Run on its own: see tests/CMakeLists.txt.)
TEST(StuckParser, AMovieWhoseGraphIsNeverBuiltHoldsUpNeitherTheNextMovieNorACancelNorTheStop)
{
    ResultSink sink;
    sink.decoder.SetRenderWait(1500);
    auto start = std::chrono::steady_clock::now();
    sink.decoder.RequestMovieFrames(Movie(L"tiny.mp4"), std::vector<int64_t>(4, -1), 1, 0);
    sink.decoder.RequestMovieFrames(Movie(L"steps.mp4"), std::vector<int64_t>(4, -1), 2, 0);
    sink.Pump(60000, [&] { return sink.results.size() >= 8; });
    ASSERT_EQ(sink.results.size(), 8u);
    EXPECT_LT(SecondsSince(start), 8.0);
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(sink.results[i]->isErrorImage, i < 4 ? 1 : 0) << "frame " << i;
        EXPECT_EQ(sink.results[i]->moviePath, Movie(i < 4 ? L"tiny.mp4" : L"steps.mp4"));
    }

    sink.decoder.SetRenderWait(DShowMovieFrameDecode_CL::kRenderWaitMs);
    sink.decoder.RequestMovieFrames(Movie(L"tiny.mp4"), std::vector<int64_t>(4, -1), 3, 0);
    sink.Pump(500, [] { return false; });
    auto cancelled = std::chrono::steady_clock::now();
    sink.decoder.CancelAllRequests();
    sink.Pump(20000, [&] { return sink.canceledNotices == 1; });
    EXPECT_EQ(sink.canceledNotices, 1);
    EXPECT_LT(SecondsSince(cancelled), 1.0);
    EXPECT_EQ(sink.results.size(), 8u) << "nothing for the cancelled movie";

    sink.decoder.RequestMovieFrames(Movie(L"tiny.mp4"), std::vector<int64_t>(4, -1), 4, 0);
    sink.Pump(500, [] { return false; });
    auto stopped = std::chrono::steady_clock::now();
    sink.thread.Stop();
    EXPECT_LT(SecondsSince(stopped), DShowMovieFrameDecodeThread_CL::kRenderGraceMs / 1000.0 + 1.0)
        << "no longer than the grace for graphs being built";
    EXPECT_FALSE(DShowMovieHelper_CL::WaitForGraphThreads(0)) << "the stuck ones are left";
}

TEST(DecodeThread, OddFrameSizesMatchTheFramesFfmpegTakes)
{
    for (const wchar_t* size : {L"853x480", L"321x241"}) {
        SCOPED_TRACE(testing::Message() << std::string(size, size + wcslen(size)));
        Prepare();
        DShowMovieFrameDecode_CL decoder;
        ASSERT_EQ(decoder.OpenMovie(Movie((std::wstring(L"bars") + size + L".mp4").c_str())), S_OK);
        std::unique_ptr<Gdiplus::Bitmap> frame = decoder.DecodeFrameAt(2 * kSecond);
        ASSERT_NE(frame, nullptr);
        Gdiplus::Bitmap reference(Movie((std::wstring(L"bars") + size + L".png").c_str()).c_str());
        ASSERT_EQ(reference.GetLastStatus(), Gdiplus::Ok);
        EXPECT_EQ(frame->GetWidth(), reference.GetWidth());
        EXPECT_EQ(frame->GetHeight(), reference.GetHeight());
        EXPECT_LT(MeanDifference(*frame, reference), 12.0) << "sheared rows or wrong colours";
        decoder.Finalize();
    }
}

// DirectShow and GDI+ take no "\\?\" paths: a movie or picture 260 characters deep or more
// is opened by its 8.3 form, and what is shown is that file's.
TEST(DecodeThread, AMovieOrPictureAtTheEndOfAVeryLongPathIsPreviewed)
{
    TestFolder tree;
    std::wstring deep = tree / L"長い フォルダ名, その一";
    while (deep.size() < 270) deep += L"\\サブ フォルダ " + std::to_wstring(deep.size());
    ASSERT_TRUE(MakeFolder(deep));
    const std::wstring movie = deep + L"\\映画 その一.mp4";
    ASSERT_TRUE(::CopyFileW(Movie(L"steps.mp4").c_str(), (L"\\\\?\\" + movie).c_str(), FALSE));
    ResultSink sink;
    sink.decoder.RequestMovieFrames(movie, std::vector<int64_t>(4, -1), 1, 0);
    sink.Pump(60000, [&] { return sink.results.size() >= 4; });
    ASSERT_EQ(sink.results.size(), 4u);
    for (const auto& result : sink.results) {
        EXPECT_EQ(result->isErrorImage, 0);
        EXPECT_EQ(result->moviePath, movie) << "the path as the user sees it";
        const int64_t time = result->frameTimes[result->frameNumber - 1];
        EXPECT_LE(std::abs(SecondShown(*result->image) - static_cast<int>(time / kSecond)), 1);
    }

    const std::wstring picture = deep + L"\\絵.bmp";
    ASSERT_TRUE(WriteFileBytes(L"\\\\?\\" + picture, Bitmap24(30, 20, [](int, int) { return RGB(0, 0, 255); })));
    std::unique_ptr<Gdiplus::Image> shown = FrameInfo_CL::LoadPicture(picture);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->GetWidth(), 30u);
    EXPECT_EQ(shown->GetHeight(), 20u);
}

// A frame that never comes (here: the capture callback taken away) must not hold up a cancel:
// the wait wakes on the decode thread's cancel event.
TEST(DecodeThread, ACancelWakesTheWaitForAFrameThatNeverComes)
{
    Prepare();
    DShowMovieFrameDecodeThread_CL thread;  // not started: the cancel stays set for the test
    DShowMovieFrameDecode_CL decoder;
    decoder.Attach(&thread, nullptr);
    ASSERT_EQ(decoder.OpenMovie(Movie(L"steps.mp4")), S_OK);
    decoder.GetHelper().GetGrabber()->SetCallback(nullptr, 0);
    std::chrono::steady_clock::time_point cancelled;
    std::thread canceller([&] {
        ::Sleep(300);
        cancelled = std::chrono::steady_clock::now();
        thread.ASyncCancelDecodeAllFrame(&decoder);
        // Unacknowledged (no thread): the flag clears again at once, the event was set.
    });
    std::unique_ptr<Gdiplus::Bitmap> frame = decoder.DecodeFrameAt(4 * kSecond);
    const double afterCancel = SecondsSince(cancelled);
    canceller.join();
    EXPECT_EQ(frame, nullptr);
    EXPECT_LT(afterCancel, 0.3);
    EXPECT_EQ(thread.IsCancelPending(), 0) << "a thread that is not running has nothing to acknowledge";
    decoder.Finalize();
}

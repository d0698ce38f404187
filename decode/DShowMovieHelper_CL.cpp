#include "decode/DShowMovieHelper_CL.h"

#include <uuids.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "core/Log_CL.h"
#include "core/UniqueHandle.h"
#include "decode/ComObject.h"
#include "decode/DShowMaskedFileSource_CL.h"
#include "decode/DShowSampleRenderer.h"
#include "decode/MediaType.h"
#include "decode/VideoTrackMask_CL.h"

extern "C" const CLSID CLSID_NullRenderer;

using Microsoft::WRL::ComPtr;

namespace {

const wchar_t kCaptureName[] = L"Sample Grabber";
const wchar_t kAudioRendererName[] = L"Default DirectSound Device";
const wchar_t* const kSplitterNames[] = {L"Avi Splitter", L"MPEG-I Stream Splitter", L"MPEG-2 Demultiplexer"};
// The platform's parser for .mp4, .mkv and most other containers (GStreamer's decodebin).
const wchar_t kParserName[] = L"GStreamer splitter filter";
const CLSID kParserClassId = {0xF9D8D64E, 0xA144, 0x47DC, {0x8E, 0xE0, 0xF5, 0x34, 0x98, 0x37, 0x2C, 0x29}};

// Everything an enumerator of the graph's filters or a filter's pins hands out.
template <typename Item, typename Enumerator>
std::vector<ComPtr<Item>> Collect(Enumerator* enumerator)
{
    std::vector<ComPtr<Item>> items;
    ComPtr<Item> item;
    while (enumerator && enumerator->Next(1, item.ReleaseAndGetAddressOf(), nullptr) == S_OK) items.push_back(item);
    return items;
}

std::atomic<int> graphThreads{0};
// The movies whose graphs are being built or stopped on a graph thread, once per thread.
std::mutex graphPathsLock;
std::multiset<std::wstring> graphPaths;

// Work on a graph that may never return. Whatever the work holds (the graph's references)
// is released on its thread too: the release of a stuck graph would hang as well.
struct GraphJob {
    std::function<HRESULT()> work;
    std::wstring path;
    HRESULT result = E_FAIL;
    KernelHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

void RunGraphJob(std::shared_ptr<GraphJob> job)
{
    // A single-threaded apartment, as on the decode thread: filters registered for one are
    // created here directly, not behind a proxy that DirectShow's interfaces may not have.
    ::CoInitialize(nullptr);
    job->result = job->work();
    job->work = nullptr;  // the last references when the caller gave up waiting
    {
        std::lock_guard<std::mutex> guard(graphPathsLock);
        graphPaths.erase(graphPaths.find(job->path));
    }
    ::SetEvent(job->done.Get());
    ::CoUninitialize();
    --graphThreads;
}

// Runs `work` on the movie at `path` on a thread of its own. False when `stop` was set or `waitMs` passed first:
// the thread is left to finish, if ever, with what the work holds.
bool RunOnGraphThread(std::function<HRESULT()> work, const std::wstring& path, HANDLE stop, DWORD waitMs,
                      HRESULT& result)
{
    auto job = std::make_shared<GraphJob>();
    job->work = std::move(work);
    job->path = path;
    {
        std::lock_guard<std::mutex> guard(graphPathsLock);
        graphPaths.insert(path);
    }
    ++graphThreads;
    std::thread worker(RunGraphJob, job);
    HANDLE events[2] = {job->done.Get(), stop};
    if (::WaitForMultipleObjects(stop ? 2 : 1, events, FALSE, waitMs) != WAIT_OBJECT_0) {
        worker.detach();
        return false;
    }
    worker.join();
    result = job->result;
    return true;
}

std::vector<ComPtr<IBaseFilter>> FiltersOf(IGraphBuilder* graph)
{
    ComPtr<IEnumFilters> enumerator;
    if (graph) graph->EnumFilters(&enumerator);
    return Collect<IBaseFilter>(enumerator.Get());
}

std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* filter)
{
    ComPtr<IEnumPins> enumerator;
    if (filter) filter->EnumPins(&enumerator);
    return Collect<IPin>(enumerator.Get());
}

PIN_DIRECTION DirectionOf(IPin* pin)
{
    PIN_DIRECTION direction = PINDIR_INPUT;
    pin->QueryDirection(&direction);
    return direction;
}

bool Offers(IPin* pin, const GUID& majorType)
{
    ComPtr<IEnumMediaTypes> types;
    if (FAILED(pin->EnumMediaTypes(&types))) return false;
    AM_MEDIA_TYPE* type = nullptr;
    while (types->Next(1, &type, nullptr) == S_OK) {
        bool offered = type->majortype == majorType;
        DeleteMediaType(type);
        if (offered) return true;
    }
    return false;
}

// The movie read through a mask that leaves the parser one video track, which goes to the
// capture renderer; the other streams stay unconnected. E_NOINTERFACE when the platform
// has no such parser, and the file is then rendered as it is.
HRESULT RenderFirstVideoTrack(IGraphBuilder* graph, IBaseFilter* capture, FileHandle file, VideoTrackMask_CL mask)
{
    ComPtr<IBaseFilter> parser;
    if (FAILED(::CoCreateInstance(kParserClassId, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, &parser)))
        return E_NOINTERFACE;
    ComPtr<DShowMaskedFileSource_CL> source =
        AdoptReference(new (std::nothrow) DShowMaskedFileSource_CL(std::move(file), std::move(mask)));
    if (!source) return E_OUTOFMEMORY;
    HRESULT result = graph->AddFilter(source.Get(), L"Masked File Source");
    if (SUCCEEDED(result)) result = graph->AddFilter(parser.Get(), kParserName);
    ComPtr<IPin> parserInput = FirstPin(parser.Get(), PINDIR_INPUT);
    if (SUCCEEDED(result)) result = parserInput ? graph->ConnectDirect(source->GetOutputPin(), parserInput.Get(), nullptr) : E_FAIL;
    if (SUCCEEDED(result)) {
        result = VFW_E_CANNOT_RENDER;
        ComPtr<IPin> captureInput = FirstPin(capture, PINDIR_INPUT);
        for (ComPtr<IPin>& pin : PinsOf(parser.Get())) {
            if (DirectionOf(pin.Get()) != PINDIR_OUTPUT || !Offers(pin.Get(), MEDIATYPE_Video)) continue;
            result = graph->ConnectDirect(pin.Get(), captureInput.Get(), nullptr);
            break;
        }
    }
    if (FAILED(result)) {
        graph->RemoveFilter(parser.Get());
        graph->RemoveFilter(source.Get());
    }
    return result;
}

}  // namespace

ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction)
{
    for (ComPtr<IPin>& pin : PinsOf(filter))
        if (DirectionOf(pin.Get()) == direction) return pin;
    return nullptr;
}

std::wstring FilterName(IBaseFilter* filter)
{
    FILTER_INFO info = {};
    if (FAILED(filter->QueryFilterInfo(&info))) return std::wstring();
    if (info.pGraph) info.pGraph->Release();
    return info.achName;
}

HRESULT DShowMovieHelper_CL::Initialize(const GUID& subtype)
{
    if (FAILED(::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                  IID_IGraphBuilder, &graph)))
        return E_FAIL;
    renderer = new (std::nothrow) DShowSampleRenderer();
    if (!renderer) {
        ReleaseAll();
        return E_OUTOFMEMORY;
    }
    captureFilter = static_cast<IBaseFilter*>(renderer);
    renderer->QueryInterface(kIidSampleGrabber, reinterpret_cast<void**>(grabber.GetAddressOf()));

    AM_MEDIA_TYPE accepted = {};
    accepted.majortype = MEDIATYPE_Video;
    accepted.subtype = subtype;
    HRESULT result = grabber ? grabber->SetMediaType(&accepted) : E_FAIL;
    if (result == S_OK) result = graph->AddFilter(captureFilter.Get(), kCaptureName);
    graph->QueryInterface(IID_IMediaControl, &control);
    if (result != S_OK || !control) {
        ReleaseAll();
        return E_FAIL;
    }
    return S_OK;
}

HRESULT DShowMovieHelper_CL::RenderFile(const std::wstring& path, HANDLE stop, DWORD waitMs)
{
    if (!control) return E_FAIL;
    // Reading the file's structure can wait on a slow disk as long as the parser can: it is
    // done on the graph's thread too.
    auto videoTracks = std::make_shared<int>(0);
    auto render = [control = control, graph = graph, capture = captureFilter, path, videoTracks]() {
        {
            FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            VideoTrackMask_CL mask = file ? VideoTrackMask_CL::ForFile(file.Get()) : VideoTrackMask_CL();
            if (!mask.IsEmpty()) {
                *videoTracks = mask.VideoTracks();
                HRESULT masked = RenderFirstVideoTrack(graph.Get(), capture.Get(), std::move(file), std::move(mask));
                if (SUCCEEDED(masked)) return masked;
                *videoTracks = 0;
            }
        }  // the file is not held open for the platform's own rendering
        BSTR name = ::SysAllocString(path.c_str());
        HRESULT result = control->RenderFile(name);
        ::SysFreeString(name);
        return result;
    };
    HRESULT result = E_FAIL;
    if (!RunOnGraphThread(std::move(render), path, stop, waitMs, result)) {
        // The worker keeps its own reference: the graph lives until RenderFile returns, if ever.
        ReleaseAll();
        return E_ABORT;
    }
    renderedPath = path;
    if (*videoTracks > 1) TheLog().Write(L"映像ストリーム数 = %d, 先頭のみ表示", *videoTracks);
    // A partial render (an audio stream with no sound device to play it) still rendered the
    // video; whether it reached the capture renderer is for EditFilterGraphToVideo to say.
    return SUCCEEDED(result) ? S_OK : E_FAIL;
}

bool DShowMovieHelper_CL::StopAndReleaseAll(DWORD waitMs)
{
    if (!graph) {
        ReleaseAll();
        return true;
    }
    // A graph left behind must not call back into a decoder that may be gone by then.
    if (grabber) grabber->SetCallback(nullptr, 0);
    ComPtr<IBaseFilter> rendererReference = AdoptReference(static_cast<IBaseFilter*>(renderer));
    renderer = nullptr;
    auto stopAndRelease = [graph = std::move(graph), control = std::move(control), seeking = std::move(seeking),
                           grabber = std::move(grabber), captureFilter = std::move(captureFilter),
                           rendererReference = std::move(rendererReference)]() {
        // Stopped first, so that a sample held by the paused renderer lets the stream go.
        return control ? control->Stop() : S_OK;
    };
    ReleaseAll();
    HRESULT result = S_OK;
    return RunOnGraphThread(std::move(stopAndRelease), std::exchange(renderedPath, std::wstring()), nullptr, waitMs, result);
}

bool DShowMovieHelper_CL::IsHeldByGraphThread(const std::wstring& path)
{
    std::lock_guard<std::mutex> guard(graphPathsLock);
    return graphPaths.contains(path);
}

bool DShowMovieHelper_CL::WaitForGraphThreads(DWORD milliseconds)
{
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    while (graphThreads > 0 && ::GetTickCount64() < end) ::Sleep(10);
    return graphThreads == 0;
}

int DShowMovieHelper_CL::HasFilterNamed(const std::wstring& name)
{
    for (ComPtr<IBaseFilter>& filter : FiltersOf(graph.Get()))
        if (FilterName(filter.Get()) == name) return 1;
    return 0;
}

HRESULT DShowMovieHelper_CL::QueryMediaSeeking()
{
    return graph ? graph->QueryInterface(IID_IMediaSeeking, &seeking) : E_FAIL;
}

HRESULT DShowMovieHelper_CL::AddNullRenderer(const wchar_t* name, ComPtr<IBaseFilter>& added)
{
    HRESULT result = ::CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, &added);
    if (SUCCEEDED(result)) result = graph->AddFilter(added.Get(), name);
    return result;
}

HRESULT DShowMovieHelper_CL::EditFilterGraphToVideo()
{
    if (!graph) return E_FAIL;
    ComPtr<IBaseFilter> nullVideo;
    AddNullRenderer(L"NullRenderer-Video", nullVideo);
    ComPtr<IPin> input = FirstPin(captureFilter.Get(), PINDIR_INPUT);
    ComPtr<IPin> upstream;
    HRESULT result = input ? input->ConnectedTo(&upstream) : E_FAIL;
    return result == S_OK ? 0 : result;
}

void DShowMovieHelper_CL::RemoveWithDownstream(IBaseFilter* filter)
{
    for (ComPtr<IPin>& pin : PinsOf(filter)) {
        ComPtr<IPin> peer;
        if (DirectionOf(pin.Get()) != PINDIR_OUTPUT || pin->ConnectedTo(&peer) != S_OK) continue;
        PIN_INFO info = {};
        peer->QueryPinInfo(&info);
        ComPtr<IBaseFilter> downstream = AdoptReference(info.pFilter);
        graph->Disconnect(pin.Get());
        graph->Disconnect(peer.Get());
        if (downstream) RemoveWithDownstream(downstream.Get());
    }
    graph->RemoveFilter(filter);
}

HRESULT DShowMovieHelper_CL::EditFilterGraphToAudio()
{
    removedAudioRenderer = false;
    if (!graph) return 0;
    // Where the audio went, a null renderer is named; it stays unconnected. A paused
    // renderer on the audio pin would hold its first sample, and a splitter that feeds all
    // streams from one thread would then never deliver the video frame.
    ComPtr<IBaseFilter> nullAudio;
    AddNullRenderer(L"NullRenderer-Audio", nullAudio);

    ComPtr<IBaseFilter> audioRenderer, splitter;
    for (ComPtr<IBaseFilter>& filter : FiltersOf(graph.Get())) {
        std::wstring name = FilterName(filter.Get());
        if (name == kAudioRendererName) audioRenderer = filter;
        for (const wchar_t* splitterName : kSplitterNames)
            if (name == splitterName) splitter = filter;
    }
    removedAudioRenderer = audioRenderer != nullptr;
    if (!audioRenderer) return 0;

    if (!splitter) {
        ComPtr<IPin> input = FirstPin(audioRenderer.Get(), PINDIR_INPUT);
        ComPtr<IPin> upstream;
        if (input && input->ConnectedTo(&upstream) == S_OK) {
            graph->Disconnect(upstream.Get());
            graph->Disconnect(input.Get());
        }
        graph->RemoveFilter(audioRenderer.Get());
        return 0;
    }
    // After a known splitter the whole audio chain goes: no audio is decoded at all.
    for (ComPtr<IPin>& pin : PinsOf(splitter.Get())) {
        if (DirectionOf(pin.Get()) != PINDIR_OUTPUT || !Offers(pin.Get(), MEDIATYPE_Audio)) continue;
        ComPtr<IPin> peer;
        if (pin->ConnectedTo(&peer) == S_OK) {
            PIN_INFO info = {};
            peer->QueryPinInfo(&info);
            ComPtr<IBaseFilter> chain = AdoptReference(info.pFilter);
            graph->Disconnect(pin.Get());
            graph->Disconnect(peer.Get());
            if (chain) RemoveWithDownstream(chain.Get());
        }
        break;
    }
    return 0;
}

void DShowMovieHelper_CL::RemoveWithUpstream(IBaseFilter* filter)
{
    std::vector<ComPtr<IBaseFilter>> feeding;
    for (ComPtr<IPin>& pin : PinsOf(filter)) {
        ComPtr<IPin> peer;
        if (DirectionOf(pin.Get()) != PINDIR_INPUT || pin->ConnectedTo(&peer) != S_OK) continue;
        PIN_INFO info = {};
        peer->QueryPinInfo(&info);
        ComPtr<IBaseFilter> upstream = AdoptReference(info.pFilter);
        graph->Disconnect(peer.Get());
        graph->Disconnect(pin.Get());
        if (upstream) feeding.push_back(upstream);
    }
    graph->RemoveFilter(filter);
    for (ComPtr<IBaseFilter>& upstream : feeding) {
        bool stillFeeds = false;
        for (ComPtr<IPin>& pin : PinsOf(upstream.Get())) {
            ComPtr<IPin> peer;
            if (DirectionOf(pin.Get()) == PINDIR_OUTPUT && pin->ConnectedTo(&peer) == S_OK) stillFeeds = true;
        }
        if (!stillFeeds) RemoveWithUpstream(upstream.Get());
    }
}

int DShowMovieHelper_CL::RemoveOtherRenderers()
{
    int removed = 0;
    for (ComPtr<IBaseFilter>& filter : FiltersOf(graph.Get())) {
        if (filter.Get() == captureFilter.Get()) continue;
        bool hasOutput = false, isFed = false;
        for (ComPtr<IPin>& pin : PinsOf(filter.Get())) {
            ComPtr<IPin> peer;
            if (DirectionOf(pin.Get()) == PINDIR_OUTPUT) hasOutput = true;
            else if (pin->ConnectedTo(&peer) == S_OK) isFed = true;
        }
        if (hasOutput || !isFed) continue;
        TheLog().Write(L"レンダラー除去(%s)", FilterName(filter.Get()).c_str());
        RemoveWithUpstream(filter.Get());
        ++removed;
    }
    return removed;
}

void DShowMovieHelper_CL::ReleaseAll()
{
    grabber.Reset();
    captureFilter.Reset();
    seeking.Reset();
    control.Reset();
    graph.Reset();
    if (renderer) {
        renderer->Release();
        renderer = nullptr;
    }
}

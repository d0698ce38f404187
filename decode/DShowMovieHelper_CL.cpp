#include "decode/DShowMovieHelper_CL.h"

#include <uuids.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "core/UniqueHandle.h"
#include "decode/DShowSampleRenderer.h"
#include "decode/MediaType.h"

extern "C" const CLSID CLSID_NullRenderer;

using Microsoft::WRL::ComPtr;

namespace {

const wchar_t kCaptureName[] = L"Sample Grabber";
const wchar_t kAudioRendererName[] = L"Default DirectSound Device";
const wchar_t* const kSplitterNames[] = {L"Avi Splitter", L"MPEG-I Stream Splitter", L"MPEG-2 Demultiplexer"};

// Everything an enumerator of the graph's filters or a filter's pins hands out.
template <typename Item, typename Enumerator>
std::vector<ComPtr<Item>> Collect(Enumerator* enumerator)
{
    std::vector<ComPtr<Item>> items;
    ComPtr<Item> item;
    while (enumerator && enumerator->Next(1, item.ReleaseAndGetAddressOf(), nullptr) == S_OK) items.push_back(item);
    return items;
}

std::atomic<int> renderThreads{0};

struct RenderJob {
    ComPtr<IMediaControl> control;
    std::wstring path;
    HRESULT result = E_FAIL;
    KernelHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

void RunRenderJob(std::shared_ptr<RenderJob> job)
{
    // A single-threaded apartment, as on the decode thread: filters registered for one are
    // created here directly, not behind a proxy that DirectShow's interfaces may not have.
    ::CoInitialize(nullptr);
    BSTR file = ::SysAllocString(job->path.c_str());
    job->result = job->control->RenderFile(file);
    ::SysFreeString(file);
    job->control.Reset();  // the last reference when the caller gave up waiting
    ::SetEvent(job->done.Get());
    ::CoUninitialize();
    --renderThreads;
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

bool OffersAudio(IPin* pin)
{
    ComPtr<IEnumMediaTypes> types;
    if (FAILED(pin->EnumMediaTypes(&types))) return false;
    AM_MEDIA_TYPE* type = nullptr;
    while (types->Next(1, &type, nullptr) == S_OK) {
        bool audio = type->majortype == MEDIATYPE_Audio;
        DeleteMediaType(type);
        if (audio) return true;
    }
    return false;
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
    auto job = std::make_shared<RenderJob>();
    job->control = control;
    job->path = path;
    ++renderThreads;
    std::thread worker(RunRenderJob, job);
    HANDLE events[2] = {job->done.Get(), stop};
    if (::WaitForMultipleObjects(stop ? 2 : 1, events, FALSE, waitMs) != WAIT_OBJECT_0) {
        // The worker keeps its own reference: the graph lives until RenderFile returns, if ever.
        worker.detach();
        ReleaseAll();
        return E_ABORT;
    }
    worker.join();
    // A partial render (an audio stream with no sound device to play it) still rendered the
    // video; whether it reached the capture renderer is for EditFilterGraphToVideo to say.
    return SUCCEEDED(job->result) ? S_OK : E_FAIL;
}

bool DShowMovieHelper_CL::WaitForRenderThreads(DWORD milliseconds)
{
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    while (renderThreads > 0 && ::GetTickCount64() < end) ::Sleep(10);
    return renderThreads == 0;
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
        ComPtr<IBaseFilter> downstream;
        downstream.Attach(info.pFilter);
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
        if (DirectionOf(pin.Get()) != PINDIR_OUTPUT || !OffersAudio(pin.Get())) continue;
        ComPtr<IPin> peer;
        if (pin->ConnectedTo(&peer) == S_OK) {
            PIN_INFO info = {};
            peer->QueryPinInfo(&info);
            ComPtr<IBaseFilter> chain;
            chain.Attach(info.pFilter);
            graph->Disconnect(pin.Get());
            graph->Disconnect(peer.Get());
            if (chain) RemoveWithDownstream(chain.Get());
        }
        break;
    }
    return 0;
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

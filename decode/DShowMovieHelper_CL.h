#pragma once
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <string>

#include "decode/SampleGrabberInterfaces.h"

class DShowSampleRenderer;

// Builds the preview graph: the capture renderer first, then DirectShow's own rendering of
// the file, then the audio taken out so that nothing is played and nothing holds up the
// video.
class DShowMovieHelper_CL {
public:
    DShowMovieHelper_CL() = default;
    ~DShowMovieHelper_CL() { ReleaseAll(); }
    DShowMovieHelper_CL(const DShowMovieHelper_CL&) = delete;
    DShowMovieHelper_CL& operator=(const DShowMovieHelper_CL&) = delete;

    HRESULT Initialize(const GUID& subtype);
    // S_OK for any success of DirectShow's rendering, partial ones included; else E_FAIL.
    // A damaged file can hang the platform's parser inside RenderFile for good, so it runs
    // on a thread of its own: when `stop` is set or `waitMs` pass first, the graph is left
    // to that thread and E_ABORT returned, and the caller stays free for the next movie.
    HRESULT RenderFile(const std::wstring& path, HANDLE stop, DWORD waitMs);
    // Stops the graph and releases every reference to it on a thread of its own, as a stop
    // can hang inside the platform's parser for good. False when it has not ended after
    // `waitMs`: the graph is then left to that thread, and the helper is empty either way.
    bool StopAndReleaseAll(DWORD waitMs);
    // Waits until no graph given up on is still being built or stopped, or the time has
    // passed. A process that ends under one is killed in Wine's teardown (SIGSEGV, exit
    // code kept).
    static bool WaitForGraphThreads(DWORD milliseconds);
    // Whether a graph of the movie is still being built or stopped on a thread of its own
    // (one given up on keeps the file open). Under Wine a file another program deletes
    // meanwhile is only marked, and opens as if nothing happened until the last handle goes.
    static bool IsHeldByGraphThread(const std::wstring& path);
    int HasFilterNamed(const std::wstring& name);
    HRESULT QueryMediaSeeking();
    // 0 when the capture renderer's input is connected, else the failing HRESULT.
    HRESULT EditFilterGraphToVideo();
    HRESULT EditFilterGraphToAudio();
    // Takes out every connected renderer but the capture renderer, with the filters that fed
    // only it: a second video stream would otherwise open a window of its own, and its
    // renderer holds up stopping the graph. Returns how many renderers went.
    int RemoveOtherRenderers();
    void ReleaseAll();

    IGraphBuilder* GetGraph() const { return graph.Get(); }
    ISampleGrabber* GetGrabber() const { return grabber.Get(); }
    IMediaControl* GetMediaControl() const { return control.Get(); }
    IMediaSeeking* GetMediaSeeking() const { return seeking.Get(); }
    DShowSampleRenderer* GetRenderer() const { return renderer; }
    // Whether the last audio edit took an audio renderer out of the graph.
    bool RemovedAudioRenderer() const { return removedAudioRenderer; }

private:
    HRESULT AddNullRenderer(const wchar_t* name, Microsoft::WRL::ComPtr<IBaseFilter>& added);
    void RemoveWithDownstream(IBaseFilter* filter);
    // Removes `filter` and, going upstream, each filter left with no connected output.
    void RemoveWithUpstream(IBaseFilter* filter);

    Microsoft::WRL::ComPtr<IGraphBuilder> graph;
    Microsoft::WRL::ComPtr<IBaseFilter> captureFilter;
    Microsoft::WRL::ComPtr<ISampleGrabber> grabber;
    Microsoft::WRL::ComPtr<IMediaControl> control;
    Microsoft::WRL::ComPtr<IMediaSeeking> seeking;
    DShowSampleRenderer* renderer = nullptr;  // one reference, released in ReleaseAll
    bool removedAudioRenderer = false;
    std::wstring renderedPath;  // the movie in the graph, for the thread that stops it
};

// Pins and names of a graph's filters.
Microsoft::WRL::ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction);
std::wstring FilterName(IBaseFilter* filter);

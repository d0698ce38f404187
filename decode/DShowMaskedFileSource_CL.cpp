#include "decode/DShowMaskedFileSource_CL.h"

#include <uuids.h>
#include <vfwmsgs.h>
#include <wrl/client.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <cwchar>

#include "decode/ComObject.h"
#include "decode/MediaTypeEnumerator.h"

using Microsoft::WRL::ComPtr;

// {0B2E6C1D-7F5A-4E38-9A61-3C7D2B8E4F10}
const CLSID DShowMaskedFileSource_CL::kClassId = {0x0B2E6C1D, 0x7F5A, 0x4E38, {0x9A, 0x61, 0x3C, 0x7D, 0x2B, 0x8E, 0x4F, 0x10}};

namespace {

constexpr wchar_t kPinName[] = L"Output";
constexpr LONGLONG kUnitsPerByte = 10000000;  // IAsyncReader's sample times count bytes in these units

AM_MEDIA_TYPE StreamType()
{
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Stream;
    type.subtype = GUID_NULL;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = 1;
    type.formattype = GUID_NULL;
    return type;
}

}  // namespace

// The output pin, and the reader the parser pulls the file through. Requests are read at
// once; WaitForNext hands them back in order.
class DShowMaskedFileSource_CL::OutputPin final : public IPin, public IAsyncReader {
public:
    explicit OutputPin(DShowMaskedFileSource_CL& filter) : filter(filter) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        return QueryEitherInterface<IPin, IAsyncReader>(this, iid, IID_IPin, IID_IAsyncReader, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return filter.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return filter.Release(); }

    // IPin. No lock is held while the parser takes the connection: it reads the file then.
    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* wanted) override
    {
        if (!receiver) return E_POINTER;
        if (Peer()) return VFW_E_ALREADY_CONNECTED;
        if (wanted && wanted->majortype != GUID_NULL && wanted->majortype != MEDIATYPE_Stream) return VFW_E_TYPE_NOT_ACCEPTED;
        AM_MEDIA_TYPE type = StreamType();
        HRESULT result = receiver->ReceiveConnection(this, &type);
        if (FAILED(result)) return result;
        std::lock_guard<std::mutex> guard(pinLock);
        peer = receiver;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE Disconnect() override
    {
        std::lock_guard<std::mutex> guard(pinLock);
        if (!peer) return S_FALSE;
        peer.Reset();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override
    {
        if (!pin) return E_POINTER;
        *pin = Peer().Detach();
        return *pin ? S_OK : VFW_E_NOT_CONNECTED;
    }
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override
    {
        if (!type) return E_POINTER;
        *type = StreamType();
        return Peer() ? S_OK : VFW_E_NOT_CONNECTED;
    }
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override { return filter.DescribePin(PINDIR_OUTPUT, info); }
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override
    {
        if (!direction) return E_POINTER;
        *direction = PINDIR_OUTPUT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override { return filter.CopyPinId(id); }
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override
    {
        if (!type) return E_POINTER;
        return type->majortype == MEDIATYPE_Stream ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override
    {
        if (!types) return E_POINTER;
        const AM_MEDIA_TYPE type = StreamType();
        *types = new (std::nothrow) MediaTypeEnumerator(&type);
        return *types ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

    // IAsyncReader
    HRESULT STDMETHODCALLTYPE RequestAllocator(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* properties,
                                               IMemAllocator** actual) override
    {
        if (!properties || !actual) return E_POINTER;
        *actual = nullptr;
        ComPtr<IMemAllocator> allocator = preferred;
        if (!allocator) {
            HRESULT created = ::CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                                 &allocator);
            if (FAILED(created)) return created;
        }
        ALLOCATOR_PROPERTIES wanted = *properties, given = {};
        wanted.cbAlign = std::max<long>(wanted.cbAlign, 1);
        HRESULT result = allocator->SetProperties(&wanted, &given);
        if (FAILED(result)) return result;
        *actual = allocator.Detach();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Request(IMediaSample* sample, DWORD_PTR user) override
    {
        if (!sample) return E_POINTER;
        HRESULT result = ReadSample(sample);
        std::lock_guard<std::mutex> guard(queueLock);
        if (flushing) return VFW_E_WRONG_STATE;
        done.push_back({sample, user, result});
        queued.notify_all();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE WaitForNext(DWORD timeoutMs, IMediaSample** sample, DWORD_PTR* user) override
    {
        if (!sample || !user) return E_POINTER;
        *sample = nullptr;
        *user = 0;
        std::unique_lock<std::mutex> guard(queueLock);
        const auto ready = [&] { return flushing || !done.empty(); };
        if (timeoutMs == INFINITE)
            queued.wait(guard, ready);
        else if (!queued.wait_for(guard, std::chrono::milliseconds(timeoutMs), ready))
            return VFW_E_TIMEOUT;
        if (done.empty()) return VFW_E_WRONG_STATE;
        Completed next = done.front();
        done.pop_front();
        *sample = next.sample.Detach();
        *user = next.user;
        return next.result;
    }
    HRESULT STDMETHODCALLTYPE SyncReadAligned(IMediaSample* sample) override
    {
        return sample ? ReadSample(sample) : E_POINTER;
    }
    HRESULT STDMETHODCALLTYPE SyncRead(LONGLONG position, LONG length, BYTE* buffer) override
    {
        if (!buffer) return E_POINTER;
        LONG read = 0;
        return filter.Read(position, length, buffer, read);
    }
    HRESULT STDMETHODCALLTYPE Length(LONGLONG* total, LONGLONG* available) override
    {
        if (!total || !available) return E_POINTER;
        *total = *available = filter.fileSize;
        return S_OK;
    }
    // IPin and IAsyncReader share these two; only the reader's meaning applies to an output pin.
    HRESULT STDMETHODCALLTYPE BeginFlush() override
    {
        std::lock_guard<std::mutex> guard(queueLock);
        flushing = true;
        queued.notify_all();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EndFlush() override
    {
        std::lock_guard<std::mutex> guard(queueLock);
        flushing = false;
        return S_OK;
    }

private:
    struct Completed {
        ComPtr<IMediaSample> sample;
        DWORD_PTR user;
        HRESULT result;
    };

    ComPtr<IPin> Peer()
    {
        std::lock_guard<std::mutex> guard(pinLock);
        return peer;
    }
    // Fills a sample with the bytes its times name.
    HRESULT ReadSample(IMediaSample* sample)
    {
        REFERENCE_TIME start = 0, stop = 0;
        BYTE* data = nullptr;
        if (FAILED(sample->GetTime(&start, &stop)) || FAILED(sample->GetPointer(&data))) return E_INVALIDARG;
        const LONGLONG length = (stop - start) / kUnitsPerByte;
        if (start < 0 || length < 0 || length > sample->GetSize()) return E_INVALIDARG;
        LONG read = 0;
        HRESULT result = filter.Read(start / kUnitsPerByte, static_cast<LONG>(length), data, read);
        sample->SetActualDataLength(read);
        return result;
    }

    DShowMaskedFileSource_CL& filter;
    std::mutex pinLock;
    ComPtr<IPin> peer;
    std::mutex queueLock;
    std::condition_variable queued;
    std::deque<Completed> done;
    bool flushing = false;
};

DShowMaskedFileSource_CL::DShowMaskedFileSource_CL(FileHandle movie, VideoTrackMask_CL trackMask)
    : DShowFilterBase_CL(kClassId, kPinName), pin(new OutputPin(*this)), file(std::move(movie)), mask(std::move(trackMask))
{
    LARGE_INTEGER size = {};
    if (file && ::GetFileSizeEx(file.Get(), &size)) fileSize = size.QuadPart;
}

DShowMaskedFileSource_CL::~DShowMaskedFileSource_CL()
{
    delete pin;
}

IPin* DShowMaskedFileSource_CL::Pin()
{
    return pin;
}

HRESULT DShowMaskedFileSource_CL::Read(LONGLONG offset, LONG size, BYTE* data, LONG& read)
{
    read = 0;
    if (offset < 0 || size < 0) return E_INVALIDARG;
    const LONG available = static_cast<LONG>(std::max<LONGLONG>(0, std::min<LONGLONG>(size, fileSize - offset)));
    if (available > 0) {
        std::lock_guard<std::mutex> guard(lock);
        if (!ReadFileAt(file.Get(), static_cast<uint64_t>(offset), data, static_cast<DWORD>(available))) return E_FAIL;
    }
    mask.Apply(static_cast<uint64_t>(offset), data, static_cast<size_t>(available));
    read = available;
    return available == size ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE DShowMaskedFileSource_CL::QueryInterface(REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter || iid == IID_IBaseFilter) {
        *out = static_cast<IBaseFilter*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE DShowMaskedFileSource_CL::Release()
{
    ULONG left = --references;
    if (!left) delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE DShowMaskedFileSource_CL::Stop()
{
    std::lock_guard<std::mutex> guard(lock);
    state = State_Stopped;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DShowMaskedFileSource_CL::Pause()
{
    std::lock_guard<std::mutex> guard(lock);
    state = State_Paused;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DShowMaskedFileSource_CL::Run(REFERENCE_TIME)
{
    std::lock_guard<std::mutex> guard(lock);
    state = State_Running;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DShowMaskedFileSource_CL::GetState(DWORD, FILTER_STATE* current)
{
    if (!current) return E_POINTER;
    std::lock_guard<std::mutex> guard(lock);
    *current = state;
    return S_OK;
}

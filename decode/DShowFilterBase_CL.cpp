#include "decode/DShowFilterBase_CL.h"

#include <vfwmsgs.h>

#include <cstring>
#include <cwchar>

#include "decode/SinglePinEnumerator.h"

HRESULT STDMETHODCALLTYPE DShowFilterBase_CL::GetClassID(CLSID* out)
{
    if (!out) return E_POINTER;
    *out = classId;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DShowFilterBase_CL::SetSyncSource(IReferenceClock* newClock)
{
    std::lock_guard<std::mutex> guard(infoLock);
    clock = newClock;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DShowFilterBase_CL::GetSyncSource(IReferenceClock** out)
{
    if (!out) return E_POINTER;
    std::lock_guard<std::mutex> guard(infoLock);
    *out = clock.Get();
    if (*out) (*out)->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DShowFilterBase_CL::EnumPins(IEnumPins** pins)
{
    if (!pins) return E_POINTER;
    *pins = new (std::nothrow) SinglePinEnumerator(this, Pin());
    return *pins ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE DShowFilterBase_CL::FindPin(LPCWSTR id, IPin** out)
{
    if (!id || !out) return E_POINTER;
    if (wcscmp(id, pinName) != 0) {
        *out = nullptr;
        return VFW_E_NOT_FOUND;
    }
    *out = Pin();
    (*out)->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DShowFilterBase_CL::QueryFilterInfo(FILTER_INFO* info)
{
    if (!info) return E_POINTER;
    std::lock_guard<std::mutex> guard(infoLock);
    wcscpy(info->achName, name);
    info->pGraph = graph;
    if (graph) graph->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DShowFilterBase_CL::JoinFilterGraph(IFilterGraph* newGraph, LPCWSTR newName)
{
    std::lock_guard<std::mutex> guard(infoLock);
    graph = newGraph;
    name[0] = 0;
    if (newName) wcsncpy(name, newName, MAX_FILTER_NAME - 1);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DShowFilterBase_CL::QueryVendorInfo(LPWSTR*)
{
    return E_NOTIMPL;
}

IFilterGraph* DShowFilterBase_CL::Graph()
{
    std::lock_guard<std::mutex> guard(infoLock);
    return graph;
}

HRESULT DShowFilterBase_CL::DescribePin(PIN_DIRECTION direction, PIN_INFO* info)
{
    if (!info) return E_POINTER;
    info->pFilter = this;
    AddRef();
    info->dir = direction;
    wcsncpy(info->achName, pinName, MAX_PIN_NAME - 1);
    info->achName[MAX_PIN_NAME - 1] = 0;
    return S_OK;
}

HRESULT DShowFilterBase_CL::CopyPinId(LPWSTR* id) const
{
    if (!id) return E_POINTER;
    const size_t bytes = (wcslen(pinName) + 1) * sizeof(wchar_t);
    *id = static_cast<LPWSTR>(::CoTaskMemAlloc(bytes));
    if (!*id) return E_OUTOFMEMORY;
    memcpy(*id, pinName, bytes);
    return S_OK;
}

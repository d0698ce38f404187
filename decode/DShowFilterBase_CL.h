#pragma once
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <mutex>

// The part of IBaseFilter that a filter of one pin shares with any other: its class, name
// and graph (held uncounted: the graph owns the filter), its clock, and its pin found by
// enumeration or by id. The filter adds its state and its pin.
class DShowFilterBase_CL : public IBaseFilter {
public:
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* info) override;

    // For the pin's IPin::QueryPinInfo and IPin::QueryId.
    HRESULT DescribePin(PIN_DIRECTION direction, PIN_INFO* info);
    HRESULT CopyPinId(LPWSTR* id) const;

protected:
    DShowFilterBase_CL(const CLSID& classId, const wchar_t* pinName) : classId(classId), pinName(pinName) {}
    virtual ~DShowFilterBase_CL() = default;
    virtual IPin* Pin() = 0;
    IFilterGraph* Graph();

private:
    const CLSID classId;
    const wchar_t* const pinName;
    std::mutex infoLock;
    IFilterGraph* graph = nullptr;  // not counted
    wchar_t name[MAX_FILTER_NAME] = {};
    Microsoft::WRL::ComPtr<IReferenceClock> clock;
};

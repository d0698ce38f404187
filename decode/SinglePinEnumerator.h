#pragma once
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include "decode/ComObject.h"

// Lists a filter's one pin. Holds the filter, whose references the pin shares.
class SinglePinEnumerator final : public ComObject<IEnumPins> {
public:
    SinglePinEnumerator(IBaseFilter* filter, IPin* pin, ULONG position = 0) : filter(filter), pin(pin), position(position) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override
    {
        if (!pins) return E_POINTER;
        ULONG given = 0;
        if (count > 0 && position == 0) {
            pins[0] = pin;
            pins[0]->AddRef();
            position = 1;
            given = 1;
        }
        if (fetched) *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        position += count;
        return position <= 1 ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        position = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins** out) override
    {
        if (!out) return E_POINTER;
        *out = new (std::nothrow) SinglePinEnumerator(filter.Get(), pin, position);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    Microsoft::WRL::ComPtr<IBaseFilter> filter;
    IPin* pin;
    ULONG position;
};

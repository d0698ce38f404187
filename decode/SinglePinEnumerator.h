#pragma once
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include "decode/OneItemEnumerator.h"

// Lists a filter's one pin. Holds the filter, whose references the pin shares.
class SinglePinEnumerator final : public OneItemEnumerator<SinglePinEnumerator, IEnumPins, IPin*> {
public:
    SinglePinEnumerator(IBaseFilter* filter, IPin* pin, ULONG position = 0)
        : OneItemEnumerator(position), filter(filter), pin(pin)
    {
    }

    bool HasItem() const { return true; }
    HRESULT Give(IPin*& given) const
    {
        given = pin;
        given->AddRef();
        return S_OK;
    }
    IEnumPins* CopyAt(ULONG at) const { return new (std::nothrow) SinglePinEnumerator(filter.Get(), pin, at); }

private:
    Microsoft::WRL::ComPtr<IBaseFilter> filter;
    IPin* pin;
};

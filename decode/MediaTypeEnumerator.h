#pragma once
#include <windows.h>
#include <dshow.h>

#include "decode/ComObject.h"
#include "decode/MediaType.h"

// Lists the media type a pin proposes, or none (`type` null).
class MediaTypeEnumerator final : public ComObject<IEnumMediaTypes> {
public:
    explicit MediaTypeEnumerator(const AM_MEDIA_TYPE* type, ULONG position = 0) : position(position)
    {
        if (type) hasType = SUCCEEDED(CopyMediaType(offered.Get(), *type));
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override
    {
        if (!types) return E_POINTER;
        ULONG given = 0;
        if (count > 0 && hasType && position == 0) {
            types[0] = CreateMediaTypeCopy(offered.Get());
            if (!types[0]) return E_OUTOFMEMORY;
            position = 1;
            given = 1;
        }
        if (fetched) *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        position += count;
        return position <= (hasType ? 1u : 0u) ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        position = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** out) override
    {
        if (!out) return E_POINTER;
        *out = new (std::nothrow) MediaTypeEnumerator(hasType ? &offered.Get() : nullptr, position);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    MediaType offered;
    bool hasType = false;
    ULONG position;
};

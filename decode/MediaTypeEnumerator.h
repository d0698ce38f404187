#pragma once
#include <windows.h>
#include <dshow.h>

#include "decode/MediaType.h"
#include "decode/OneItemEnumerator.h"

// Lists the media type a pin proposes, or none (`type` null).
class MediaTypeEnumerator final : public OneItemEnumerator<MediaTypeEnumerator, IEnumMediaTypes, AM_MEDIA_TYPE*> {
public:
    explicit MediaTypeEnumerator(const AM_MEDIA_TYPE* type, ULONG position = 0) : OneItemEnumerator(position)
    {
        if (type) hasType = SUCCEEDED(CopyMediaType(offered.Get(), *type));
    }

    bool HasItem() const { return hasType; }
    HRESULT Give(AM_MEDIA_TYPE*& type) const
    {
        type = CreateMediaTypeCopy(offered.Get());
        return type ? S_OK : E_OUTOFMEMORY;
    }
    IEnumMediaTypes* CopyAt(ULONG at) const { return new (std::nothrow) MediaTypeEnumerator(hasType ? &offered.Get() : nullptr, at); }

private:
    MediaType offered;
    bool hasType = false;
};

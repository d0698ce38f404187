#pragma once
#include <windows.h>

#include <new>

#include "decode/ComObject.h"

// A COM enumerator of at most one item (a pin's one media type, a filter's one pin): Next,
// Skip, Reset and Clone over a position of 0 or 1. `Derived` says whether there is an item
// (HasItem), hands out a reference or copy of it (Give) and makes a copy of itself at a
// position (CopyAt).
template <typename Derived, typename Interface, typename Item>
class OneItemEnumerator : public ComObject<Interface> {
public:
    explicit OneItemEnumerator(ULONG position) : position(position) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* items, ULONG* fetched) override
    {
        if (!items) return E_POINTER;
        ULONG given = 0;
        if (count > 0 && Self().HasItem() && position == 0) {
            const HRESULT result = Self().Give(items[0]);
            if (FAILED(result)) return result;
            position = 1;
            given = 1;
        }
        if (fetched) *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override
    {
        position += count;
        return position <= (Self().HasItem() ? 1u : 0u) ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        position = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Interface** out) override
    {
        if (!out) return E_POINTER;
        *out = Self().CopyAt(position);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    const Derived& Self() const { return static_cast<const Derived&>(*this); }

    ULONG position;
};

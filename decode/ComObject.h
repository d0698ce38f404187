#pragma once
#include <windows.h>
#include <wrl/client.h>

#include <atomic>

// A heap object that implements one COM interface and counts its own references.
template <typename Interface>
class ComObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        if (iid != IID_IUnknown && iid != __uuidof(Interface)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = --references;
        if (!left) delete this;
        return left;
    }

protected:
    virtual ~ComObject() = default;

private:
    std::atomic<ULONG> references{1};
};

// Puts a reference the caller already owns (from `new`, or handed out as PIN_INFO::pFilter
// is) into a ComPtr. MinGW's ComPtr::Attach adds a reference of its own, unlike the SDK's, so
// it would leak one: the object, and all it holds, would never be freed.
template <typename Interface>
Microsoft::WRL::ComPtr<Interface> AdoptReference(Interface* owned)
{
    Microsoft::WRL::ComPtr<Interface> holder(owned);
    if (owned) owned->Release();
    return holder;
}

// QueryInterface of an object reached as IUnknown or its first interface, and as its second
// (a pin that is also a reader or a sample sink).
template <typename First, typename Second, typename Object>
HRESULT QueryEitherInterface(Object* object, REFIID iid, REFIID firstIid, REFIID secondIid, void** out)
{
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == firstIid) {
        *out = static_cast<First*>(object);
    } else if (iid == secondIid) {
        *out = static_cast<Second*>(object);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    object->AddRef();
    return S_OK;
}

#include "core/Registry.h"

#include "core/UniqueHandle.h"

HRESULT ReadRegistryString(HKEY root, const std::wstring& subKey, const std::wstring& valueName,
                           std::wstring& out)
{
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return E_FAIL;
    RegKey key(opened);

    // 260 bytes of room, as the stored values were always short; one more unit stays zero
    // so that a value stored without its terminator still ends.
    wchar_t buffer[131] = {};
    DWORD bytes = 260;
    if (::RegQueryValueExW(key.Get(), valueName.empty() ? nullptr : valueName.c_str(), nullptr, nullptr,
                           reinterpret_cast<BYTE*>(buffer), &bytes) != ERROR_SUCCESS)
        return E_FAIL;
    out = buffer;
    return S_OK;
}

#pragma once
#include <windows.h>

#include <string>

// Reads a string value of at most 129 characters. S_OK with `out` set, or E_FAIL with
// `out` unchanged (missing key or value, or a longer value).
HRESULT ReadRegistryString(HKEY root, const std::wstring& subKey, const std::wstring& valueName,
                           std::wstring& out);

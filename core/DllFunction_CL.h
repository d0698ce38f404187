#pragma once
#include <windows.h>

#include "core/UniqueHandle.h"

// A library loaded at run time, for functions that older systems lack.
class DllFunction_CL {
public:
    explicit DllFunction_CL(const wchar_t* fileName) : module(::LoadLibraryW(fileName)) {}

    bool IsLoaded() const { return module.IsValid(); }
    // Null when the library did not load or lacks the function.
    FARPROC GetFunction(const char* name) const
    {
        return module ? ::GetProcAddress(module.Get(), name) : nullptr;
    }

private:
    ModuleHandle module;
};

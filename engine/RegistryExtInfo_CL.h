#pragma once
#include <string>

// Descriptions of file extensions from the registry.
class RegistryExtInfo_CL {
public:
    virtual ~RegistryExtInfo_CL() = default;
    // The "Content Type" value of HKEY_CLASSES_ROOT\<extension>, or empty.
    std::wstring GetContentType(const std::wstring& extension) const;
};

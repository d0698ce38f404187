#include "engine/RegistryExtInfo_CL.h"

#include "core/Registry.h"

std::wstring RegistryExtInfo_CL::GetContentType(const std::wstring& extension) const
{
    std::wstring contentType;
    if (FAILED(ReadRegistryString(HKEY_CLASSES_ROOT, extension, L"Content Type", contentType))) return std::wstring();
    return contentType;
}

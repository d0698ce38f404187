#include "core/OpenAddress.h"

#include <windows.h>
#include <shlwapi.h>

#include "core/Log_CL.h"
#include "core/PathFunctions.h"
#include "core/ShellExecuteHook.h"

bool IsWebAddress(const std::wstring& address)
{
    const std::wstring lower = ToLowerAscii(address);
    for (const wchar_t* scheme : {L"http://", L"https://"}) {
        const size_t length = wcslen(scheme);
        // A host must follow, and nothing that could end the address early or start another.
        if (lower.compare(0, length, scheme) == 0 && lower.size() > length &&
            lower.find_first_of(L" \t\r\n\"<>", 0) == std::wstring::npos)
            return true;
    }
    return false;
}

int OpenAddress(const std::wstring& address, int flag)
{
    if (flag == 0 && ::PathFileExistsW(L"c:\\MyHome.txt")) return 1;
    if (!IsWebAddress(address)) {
        TheLog().Write(L"OpenAddress()拒否 : %s", address.c_str());
        return 0;
    }
    return static_cast<int>(reinterpret_cast<INT_PTR>(
        TheShellExecute()(nullptr, nullptr, address.c_str(), nullptr, nullptr, SW_SHOWNORMAL)));
}

#include "core/OpenAddress.h"

#include <windows.h>
#include <shlwapi.h>

#include "core/Log_CL.h"
#include "core/PathFunctions.h"
#include "core/ShellExecuteHook.h"

namespace {

bool IsHexDigit(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// The shell's handler fills %NAME% from the environment (the user's name, profile path,
// computer name) before the browser sees it: a % that starts no %XX escape is escaped
// itself. Escapes that still enclose a variable's name ("%DEBUG%20") give no address.
std::wstring EscapeStrayPercents(const std::wstring& address)
{
    std::wstring escaped;
    for (size_t i = 0; i < address.size(); ++i) {
        if (address[i] == L'%' && !(i + 2 < address.size() && IsHexDigit(address[i + 1]) && IsHexDigit(address[i + 2])))
            escaped += L"%25";
        else
            escaped += address[i];
    }
    for (size_t open = escaped.find(L'%'); open != std::wstring::npos;) {
        const size_t close = escaped.find(L'%', open + 1);
        if (close == std::wstring::npos) break;
        const std::wstring name = escaped.substr(open + 1, close - open - 1);
        if (!name.empty() && ::GetEnvironmentVariableW(name.c_str(), nullptr, 0) > 0) return std::wstring();
        open = close;
    }
    return escaped;
}

}  // namespace

bool IsWebAddress(const std::wstring& address)
{
    // Wine's shell overruns a buffer of its own on addresses of about 1,000 characters.
    if (address.size() > kLongestWebAddress) return false;
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
    const std::wstring escaped = EscapeStrayPercents(address);
    if (!IsWebAddress(escaped)) {
        TheLog().Write(L"OpenAddress()拒否 : %s", address.c_str());
        return 0;
    }
    return static_cast<int>(reinterpret_cast<INT_PTR>(
        TheShellExecute()(nullptr, nullptr, escaped.c_str(), nullptr, nullptr, SW_SHOWNORMAL)));
}

#include "support/CliRunner.h"

#include "core/UniqueHandle.h"

namespace {

std::wstring CliPath()
{
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.find_last_of(L'\\')) + L"\\quillmere-cli.exe";
}

}  // namespace

CliResult RunCli(const std::wstring& arguments)
{
    CliResult result;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
    KernelHandle reader(readEnd), writer(writeEnd);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    // Standard error into a file of its own, read once the program has ended: two pipes read
    // one after the other could each wait for the other.
    wchar_t folder[MAX_PATH], errorPath[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    ::GetTempFileNameW(folder, L"err", 0, errorPath);
    FileHandle errors(::CreateFileW(errorPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    &inherit, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr));

    STARTUPINFOW startup = {sizeof(startup)};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = errors.Get();
    startup.hStdInput = nullptr;
    PROCESS_INFORMATION process = {};
    std::wstring command = L"\"" + CliPath() + L"\" " + arguments;
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &process))
        return result;
    KernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
    writer.Reset();
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0) result.out.append(buffer, got);
    ::WaitForSingleObject(process.hProcess, 60000);
    ::GetExitCodeProcess(process.hProcess, &result.exitCode);
    ::SetFilePointer(errors.Get(), 0, nullptr, FILE_BEGIN);
    while (::ReadFile(errors.Get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) result.err.append(buffer, got);
    return result;
}


std::string Utf8(const std::wstring& text)
{
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(bytes - 1, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), bytes, nullptr, nullptr);
    return out;
}

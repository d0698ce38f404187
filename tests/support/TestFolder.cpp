#include "support/TestFolder.h"

#include "core/UniqueHandle.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>

TestFolder::TestFolder()
{
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH];
    DWORD length = ::GetTempPathW(MAX_PATH, temp);
    if (length && temp[length - 1] == L'\\') temp[length - 1] = 0;
    wchar_t name[64];
    _snwprintf(name, 64, L"\\quillmere-test-%lu-%d-%llu", ::GetCurrentProcessId(), counter++,
               static_cast<unsigned long long>(::GetTickCount64()));
    path = std::wstring(temp) + name;
    MakeFolder(path);
}

TestFolder::~TestFolder()
{
    RemoveTree(path);
}

std::vector<uint8_t> ReadFileBytes(const std::wstring& path)
{
    std::vector<uint8_t> bytes;
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return bytes;
    LARGE_INTEGER size = {};
    ::GetFileSizeEx(file.Get(), &size);
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 24));
        if (!::ReadFile(file.Get(), bytes.data() + done, want, &got, nullptr) || got == 0) break;
        done += got;
    }
    bytes.resize(done);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const void* data, size_t size)
{
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    bool ok = true;
    while (size > 0 && ok) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1 << 24));
        DWORD written = 0;
        ok = ::WriteFile(file.Get(), bytes, chunk, &written, nullptr) && written == chunk;
        bytes += chunk;
        size -= chunk;
    }
    return ok;
}

bool WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes)
{
    return WriteFileBytes(path, bytes.data(), bytes.size());
}

std::vector<uint8_t> Bitmap24(int width, int height, const std::function<COLORREF(int x, int y)>& colourAt)
{
    const int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + stride * height;
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    std::vector<uint8_t> bytes(file.bfSize, 0);
    memcpy(bytes.data(), &file, sizeof(file));
    memcpy(bytes.data() + sizeof(file), &info, sizeof(info));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const COLORREF colour = colourAt(x, y);
            uint8_t* pixel = bytes.data() + file.bfOffBits + y * stride + x * 3;
            pixel[0] = GetBValue(colour);
            pixel[1] = GetGValue(colour);
            pixel[2] = GetRValue(colour);
        }
    return bytes;
}

bool MakeFolder(const std::wstring& path)
{
    if (::CreateDirectoryW(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS) return true;
    size_t cut = path.find_last_of(L'\\');
    if (cut == std::wstring::npos || cut == 0) return false;
    return MakeFolder(path.substr(0, cut)) && ::CreateDirectoryW(path.c_str(), nullptr);
}

bool SetFileLength(const std::wstring& path, uint64_t length)
{
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, 0, nullptr));
    if (!file) return false;
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(length);
    return ::SetFilePointerEx(file.Get(), position, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.Get());
}

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW data;
    FindHandle find(::FindFirstFileW((path + L"\\*").c_str(), &data));
    if (find) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            bool isLink = data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !isLink) {
                RemoveTree(child);
            } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                ::RemoveDirectoryW(child.c_str());
            } else {
                ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(child.c_str());
            }
        } while (::FindNextFileW(find.Get(), &data));
        find.Reset();
    }
    ::RemoveDirectoryW(path.c_str());
}

std::wstring BytesAsWide(const std::vector<uint8_t>& bytes)
{
    std::wstring text(bytes.size() / 2, L'\0');
    if (!text.empty()) memcpy(text.data(), bytes.data(), text.size() * 2);
    return text;
}

bool WriteUtf16File(const std::wstring& path, const std::wstring& text)
{
    std::wstring withBom = L"\xFEFF" + text;
    return WriteFileBytes(path, withBom.data(), withBom.size() * sizeof(wchar_t));
}

bool MakeFileWithContent(const std::wstring& path, uint64_t size, uint32_t seed)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    uint32_t state = seed * 2654435761u + 12345;
    for (auto& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(state >> 24);
    }
    return WriteFileBytes(path, bytes);
}

namespace {

std::wstring GetDirectoryOf(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L'\\'));
}

using UnixNameFunction = char*(__cdecl*)(const wchar_t*);

std::string UnixPathOf(const std::wstring& path)
{
    auto toUnix = reinterpret_cast<UnixNameFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return std::string();
    char* name = toUnix(path.c_str());
    if (!name) return std::string();
    std::string result = name;
    ::HeapFree(::GetProcessHeap(), 0, name);
    return result;
}

}  // namespace

namespace {

// Starts a program of the host (Wine runs Linux programs by their Z: path) and waits up to
// `ready` for what it makes to show.
bool RunOnHost(const std::wstring& program, std::wstring commandLine, const std::function<bool()>& ready)
{
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    KernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
    for (int i = 0; i < 200; ++i) {
        if (ready()) return true;
        ::Sleep(10);
    }
    return false;
}

std::wstring Widened(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

}  // namespace

bool MakeFolderLink(const std::wstring& link, const std::wstring& target)
{
    std::string unixTarget = UnixPathOf(target);
    if (unixTarget.empty())
        return ::CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) &&
               ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;

    std::string unixLink = UnixPathOf(GetDirectoryOf(link)) + "/" ;
    std::wstring name = link.substr(link.find_last_of(L'\\') + 1);
    unixLink += std::string(name.begin(), name.end());
    return RunOnHost(L"Z:\\bin\\ln", L"/bin/ln -s \"" + Widened(unixTarget) + L"\" \"" + Widened(unixLink) + L"\"",
                     [&] { return ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

bool MoveOnHost(const std::wstring& from, const std::wstring& folder, const std::string& name)
{
    const std::string unixFrom = UnixPathOf(from), unixTo = UnixPathOf(folder) + "/" + name;
    if (unixFrom.empty() || unixTo.size() <= name.size() + 1) return false;
    return RunOnHost(L"Z:\\bin\\mv", L"/bin/mv \"" + Widened(unixFrom) + L"\" \"" + Widened(unixTo) + L"\"",
                     [&] { return ::GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES; });
}

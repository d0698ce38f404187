#include "engine/CacheFile.h"

#include <windows.h>

#include "core/PathFunctions.h"
#include "core/UniqueHandle.h"

namespace CacheFile {
namespace {

uint64_t Checksum(const uint8_t* data, size_t length)
{
    uint64_t hash = 0xCBF29CE484222325ull ^ length;
    for (size_t i = 0; i < length; ++i) hash = (hash ^ data[i]) * 0x100000001B3ull;
    return hash;
}

std::vector<uint8_t> ReadAll(const std::wstring& path)
{
    std::vector<uint8_t> bytes;
    FileHandle file(::CreateFileW(LongPathForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0 ||
        static_cast<uint64_t>(size.QuadPart) > kLargestFile)
        return bytes;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) || got != bytes.size())
        bytes.clear();
    return bytes;
}

}  // namespace

std::vector<uint8_t> ReadBody(const std::wstring& path, const char (&magic)[4])
{
    std::vector<uint8_t> bytes = ReadAll(path);
    if (bytes.size() < sizeof(magic) + sizeof(uint64_t) || memcmp(bytes.data(), magic, sizeof(magic)) != 0) return {};
    const size_t body = bytes.size() - sizeof(uint64_t);
    uint64_t stored = 0;
    memcpy(&stored, bytes.data() + body, sizeof(stored));
    if (stored != Checksum(bytes.data(), body)) return {};
    // Trimmed in place: a copy of a large cache costs as much again in fresh pages.
    bytes.resize(body);
    bytes.erase(bytes.begin(), bytes.begin() + sizeof(magic));
    return bytes;
}

bool WriteWhole(const std::wstring& path, const char (&magic)[4], const std::vector<uint8_t>& body)
{
    std::vector<uint8_t> out(magic, magic + sizeof(magic));
    out.insert(out.end(), body.begin(), body.end());
    const uint64_t checksum = Checksum(out.data(), out.size());
    out.resize(out.size() + sizeof(checksum));
    memcpy(out.data() + out.size() - sizeof(checksum), &checksum, sizeof(checksum));
    // Each writer has a temporary file of its own; the last to replace the cache wins whole.
    const std::wstring temporary =
        path + L".tmp" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetCurrentThreadId());
    bool written = false;
    {
        FileHandle file(::CreateFileW(LongPathForm(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD done = 0;
        written = file && ::WriteFile(file.Get(), out.data(), static_cast<DWORD>(out.size()), &done, nullptr) &&
                  done == out.size();
    }
    if (written && ::MoveFileExW(LongPathForm(temporary).c_str(), LongPathForm(path).c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    ::DeleteFileW(LongPathForm(temporary).c_str());
    return false;
}

void Writer::PutText(std::wstring_view text)
{
    Put(static_cast<uint32_t>(text.size()));
    const size_t at = bytes.size();
    bytes.resize(at + text.size() * sizeof(wchar_t));
    memcpy(bytes.data() + at, text.data(), text.size() * sizeof(wchar_t));
}

bool Reader::GetText(std::wstring& text, uint32_t characters)
{
    if ((length - at) / sizeof(wchar_t) < characters) return ok = false;
    text.assign(reinterpret_cast<const wchar_t*>(data + at), characters);
    at += characters * sizeof(wchar_t);
    return true;
}

bool Reader::GetText(std::wstring& text, uint32_t shortest, uint32_t longest)
{
    uint32_t characters = 0;
    if (!Get(characters)) return false;
    if (characters < shortest || characters > longest) return ok = false;
    return GetText(text, characters);
}

}  // namespace CacheFile

#include "core/Log_CL.h"

#include <windows.h>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "core/UniqueHandle.h"

namespace {

// Whole Write calls are serialised so that lines of two threads never mix. The path is
// also read under it, since SetPath may run while a worker already logs.
std::mutex& WriteLock()
{
    static std::mutex lock;
    return lock;
}

int FormatPrefix(wchar_t* buffer)
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return _snwprintf(buffer, Log_CL::kPrefixLength + 1, L"%04d/%02d/%02d %02d:%02d:%02d.%03d : ",
                      now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                      now.wMilliseconds);
}

bool WriteAll(HANDLE file, const void* data, size_t bytes)
{
    DWORD written = 0;
    return ::WriteFile(file, data, static_cast<DWORD>(bytes), &written, nullptr) && written == bytes;
}

}  // namespace

Log_CL& TheLog()
{
    static Log_CL log;
    return log;
}

void Log_CL::SetPath(const std::wstring& path)
{
    std::lock_guard<std::mutex> guard(WriteLock());
    filePath = path;
}

void Log_CL::Write(const wchar_t* format, ...)
{
    wchar_t line[kLineBufferLength] = {};
    int prefixLength = FormatPrefix(line);
    if (prefixLength != kPrefixLength) return;  // a year beyond 9999 is not ours to log

    // The message gets at most kMessageRoom - 1 characters; a longer one is cut there.
    wchar_t* message = line + kPrefixLength;
    va_list args;
    va_start(args, format);
    _vsnwprintf(message, kMessageRoom - 1, format, args);
    va_end(args);
    size_t length = kPrefixLength + wcsnlen(message, kMessageRoom - 1);
    line[length++] = L'\r';
    line[length++] = L'\n';

    std::lock_guard<std::mutex> guard(WriteLock());
    if (!filePath.empty()) AppendLine(filePath, line, length);
}

void Log_CL::AppendLine(const std::wstring& path, const wchar_t* line, size_t length) const
{
    // Append-only access makes each WriteFile land at the current end, even when another
    // process appends to the same file.
    FileHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.Get(), &size)) return;

    if (size.QuadPart > sizeLimit) {
        file.Reset();
        file.Reset(::CreateFileW(path.c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return;
        size.QuadPart = 0;
    }

    // One WriteFile per record keeps lines whole between processes too.
    wchar_t record[1 + kLineBufferLength];
    size_t units = 0;
    if (size.QuadPart == 0) record[units++] = 0xFEFF;
    wmemcpy(record + units, line, length);
    units += length;
    WriteAll(file.Get(), record, units * sizeof(wchar_t));
}

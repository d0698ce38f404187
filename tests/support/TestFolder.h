#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::wstring& Path() const { return path; }
    std::wstring operator/(const std::wstring& relative) const { return path + L"\\" + relative; }

private:
    std::wstring path;
};

// Small file helpers for tests.
std::vector<uint8_t> ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const void* data, size_t size);
bool WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes);
bool MakeFolder(const std::wstring& path);  // with every missing parent
bool SetFileLength(const std::wstring& path, uint64_t length);
void RemoveTree(const std::wstring& path);
// The UTF-16LE code units of a file (after any BOM is left in place).
std::wstring BytesAsWide(const std::vector<uint8_t>& bytes);
// Writes text as UTF-16LE with a byte-order mark, as the program's INI file is stored.
bool WriteUtf16File(const std::wstring& path, const std::wstring& text);
// A file of `size` bytes whose content is fixed by `seed` (equal seeds, equal bytes).
bool MakeFileWithContent(const std::wstring& path, uint64_t size, uint32_t seed);
// The bytes of a 24-bit bottom-up BMP file; `colourAt(x, y)` counts rows from the bottom,
// in the order they are stored.
std::vector<uint8_t> Bitmap24(int width, int height, const std::function<COLORREF(int x, int y)>& colourAt);
// A symbolic link to a folder. Under Wine, which only pretends to make them, the link is
// made by the host's ln. False when neither worked.
bool MakeFolderLink(const std::wstring& link, const std::wstring& target);
// Moves a file to `folder`\`name` with the host's mv (Wine only), so that the name is taken
// exactly as written: Wine's own calls find a name that differs only in case and reuse it.
bool MoveOnHost(const std::wstring& from, const std::wstring& folder, const std::string& name);

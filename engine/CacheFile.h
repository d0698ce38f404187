#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// The shape shared by the program's cache files: four magic bytes, a body, and a 64-bit
// checksum of both. A file is written whole to a temporary file of its writer that then
// replaces the old one, so a reader sees the old file or the new one, never a mixture; a
// file that is damaged, cut short or foreign is not read at all.
namespace CacheFile {

constexpr uint64_t kLargestFile = 1ull << 30;

// The body between the magic and the checksum; empty when the file is missing, too large,
// of another magic or fails its checksum.
std::vector<uint8_t> ReadBody(const std::wstring& path, const char (&magic)[4]);
// Writes magic, body and checksum; false (and the old file left as it was) on any failure.
bool WriteWhole(const std::wstring& path, const char (&magic)[4], const std::vector<uint8_t>& body);

// Values appended to a body in memory order.
class Writer {
public:
    template <typename T>
    void Put(T value)
    {
        const size_t at = bytes.size();
        bytes.resize(at + sizeof(T));
        memcpy(bytes.data() + at, &value, sizeof(T));
    }
    void PutText(std::wstring_view text);  // its length (32 bits), then its characters
    const std::vector<uint8_t>& Bytes() const { return bytes; }

private:
    std::vector<uint8_t> bytes;
};

// Reads values from a body; any read past its end fails the whole reader.
class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& body) : data(body.data()), length(body.size()) {}
    template <typename T>
    bool Get(T& value)
    {
        if (length - at < sizeof(T)) return ok = false;
        memcpy(&value, data + at, sizeof(T));
        at += sizeof(T);
        return true;
    }
    bool GetText(std::wstring& text, uint32_t characters);
    // Its length (at most `longest` characters), then its characters.
    bool GetText(std::wstring& text, uint32_t shortest, uint32_t longest);
    bool AtEnd() const { return ok && at == length; }

private:
    const uint8_t* data;
    size_t length;
    size_t at = 0;
    bool ok = true;
};

}  // namespace CacheFile

#include "decode/VideoTrackMask_CL.h"

#include <algorithm>
#include <cstring>

namespace {

// Bounds on what is read of a container's structure: a movie index larger than these is
// left as it is rather than read whole.
constexpr uint64_t kMaxMovieBox = 64ull << 20;
constexpr uint64_t kMaxTracksElement = 16ull << 20;
constexpr int kMaxTopLevelItems = 100000;

constexpr uint32_t FourCC(const char (&code)[5])
{
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 | uint32_t(uint8_t(code[2])) << 8 |
           uint8_t(code[3]);
}

uint32_t Be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

uint64_t Be64(const uint8_t* p)
{
    return uint64_t(Be32(p)) << 32 | Be32(p + 4);
}

// MP4 boxes: a 32-bit size (1: a 64-bit size follows, 0: to the end) and a four-character
// type. Calls visit(type, payload, payloadSize, payloadOffset) for each box of data[0, size).
template <typename Visit>
void ForEachBox(const uint8_t* data, uint64_t size, Visit visit)
{
    uint64_t at = 0;
    while (at + 8 <= size) {
        uint64_t boxSize = Be32(data + at);
        const uint32_t type = Be32(data + at + 4);
        uint64_t header = 8;
        if (boxSize == 1) {
            if (at + 16 > size) return;
            boxSize = Be64(data + at + 8);
            header = 16;
        } else if (boxSize == 0) {
            boxSize = size - at;
        }
        if (boxSize < header || boxSize > size - at) return;
        visit(type, data + at + header, boxSize - header, at + header);
        at += boxSize;
    }
}

// Matroska's variable-length integers: the count of leading zero bits of the first byte
// gives the length. Element IDs keep their marker bit; sizes drop it, and all ones in the
// value means "unknown".
bool ReadVint(const uint8_t* data, size_t size, size_t& at, uint64_t& value, bool keepMarker, bool* unknown = nullptr)
{
    if (at >= size) return false;
    const uint8_t first = data[at];
    int length = 1;
    uint8_t marker = 0x80;
    while (length <= 8 && !(first & marker)) {
        ++length;
        marker >>= 1;
    }
    if (length > 8 || at + length > size) return false;
    const uint8_t valueBits = static_cast<uint8_t>(marker - 1);
    value = keepMarker ? first : (first & valueBits);
    bool allOnes = (first & valueBits) == valueBits;
    for (int i = 1; i < length; ++i) {
        value = value << 8 | data[at + i];
        allOnes = allOnes && data[at + i] == 0xFF;
    }
    if (unknown) *unknown = allOnes;
    at += length;
    return true;
}

struct Element {
    uint64_t id = 0, size = 0, dataOffset = 0;
    bool unknownSize = false;
};

constexpr uint64_t kEbmlHeader = 0x1A45DFA3, kSegment = 0x18538067, kTracks = 0x1654AE6B, kCluster = 0x1F43B675,
                   kTrackEntry = 0xAE, kTrackType = 0x83, kCodecId = 0x86;
constexpr uint64_t kVideoTrackType = 1;

bool ReadElementHeader(HANDLE file, uint64_t offset, uint64_t fileSize, Element& element)
{
    uint8_t header[12] = {};
    if (offset >= fileSize) return false;
    const DWORD length = static_cast<DWORD>(std::min<uint64_t>(sizeof(header), fileSize - offset));
    if (!ReadFileAt(file, offset, header, length)) return false;
    size_t at = 0;
    if (!ReadVint(header, length, at, element.id, true) ||
        !ReadVint(header, length, at, element.size, false, &element.unknownSize))
        return false;
    element.dataOffset = offset + at;
    return true;
}

// Calls visit(element, payload) for each element of data[0, size); offsets in `element`
// are those of `data`. False when an element does not fit.
template <typename Visit>
bool ForEachElement(const uint8_t* data, size_t size, Visit visit)
{
    size_t at = 0;
    while (at < size) {
        Element element;
        if (!ReadVint(data, size, at, element.id, true) || !ReadVint(data, size, at, element.size, false, &element.unknownSize))
            return false;
        if (element.unknownSize || element.size > size - at) return false;
        element.dataOffset = at;
        visit(element, data + at);
        at += static_cast<size_t>(element.size);
    }
    return true;
}

bool ReadBlock(HANDLE file, uint64_t offset, uint64_t size, std::vector<uint8_t>& block)
{
    block.resize(static_cast<size_t>(size));
    return size == 0 || ReadFileAt(file, offset, block.data(), static_cast<DWORD>(size));
}

}  // namespace

bool ReadFileAt(HANDLE file, uint64_t offset, void* data, DWORD size)
{
    OVERLAPPED position = {};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    return ::ReadFile(file, data, size, &read, &position) && read == size;
}

VideoTrackMask_CL VideoTrackMask_CL::ForFile(HANDLE file)
{
    VideoTrackMask_CL mask;
    LARGE_INTEGER size = {};
    uint8_t start[8] = {};
    if (!::GetFileSizeEx(file, &size) || size.QuadPart < 8 || !ReadFileAt(file, 0, start, sizeof(start))) return mask;
    const uint64_t fileSize = static_cast<uint64_t>(size.QuadPart);
    bool read = false;
    if (Be32(start) == kEbmlHeader) {
        read = mask.ReadMatroska(file, fileSize);
    } else {
        const uint32_t firstBox = Be32(start + 4);
        for (const uint32_t type : {FourCC("ftyp"), FourCC("moov"), FourCC("mdat"), FourCC("free"), FourCC("wide"), FourCC("skip")})
            if (firstBox == type) read = mask.ReadMp4(file, fileSize);
    }
    if (!read || mask.videoTracks < 2) mask.patches.clear();
    return mask;
}

bool VideoTrackMask_CL::ReadMp4(HANDLE file, uint64_t fileSize)
{
    // The movie box holds the track list, at the start or the end of the file.
    uint64_t offset = 0;
    for (int item = 0; item < kMaxTopLevelItems && offset + 8 <= fileSize; ++item) {
        uint8_t header[16] = {};
        const DWORD length = static_cast<DWORD>(std::min<uint64_t>(sizeof(header), fileSize - offset));
        if (!ReadFileAt(file, offset, header, length)) return false;
        uint64_t boxSize = Be32(header);
        uint64_t headerSize = 8;
        if (boxSize == 1 && length == 16) {
            boxSize = Be64(header + 8);
            headerSize = 16;
        } else if (boxSize == 0) {
            boxSize = fileSize - offset;
        }
        if (boxSize < headerSize || boxSize > fileSize - offset) return false;
        if (Be32(header + 4) != FourCC("moov")) {
            offset += boxSize;
            continue;
        }
        const uint64_t payloadOffset = offset + headerSize, payloadSize = boxSize - headerSize;
        std::vector<uint8_t> movie;
        if (payloadSize > kMaxMovieBox || !ReadBlock(file, payloadOffset, payloadSize, movie)) return false;
        // A track's kind is the handler type of its media's 'hdlr' box: 'vide' for video.
        // Other video tracks get a type the parser does not know, and it skips them.
        ForEachBox(movie.data(), payloadSize, [&](uint32_t type, const uint8_t* track, uint64_t trackSize, uint64_t trackAt) {
            if (type != FourCC("trak")) return;
            ForEachBox(track, trackSize, [&](uint32_t type, const uint8_t* media, uint64_t mediaSize, uint64_t mediaAt) {
                if (type != FourCC("mdia")) return;
                ForEachBox(media, mediaSize, [&](uint32_t type, const uint8_t* handler, uint64_t handlerSize, uint64_t handlerAt) {
                    if (type != FourCC("hdlr") || handlerSize < 12 || Be32(handler + 8) != FourCC("vide")) return;
                    if (++videoTracks > 1)
                        patches.push_back({payloadOffset + trackAt + mediaAt + handlerAt + 8, "xxxx"});
                });
            });
        });
        return true;
    }
    return false;
}

bool VideoTrackMask_CL::ReadMatroska(HANDLE file, uint64_t fileSize)
{
    Element header, segment;
    if (!ReadElementHeader(file, 0, fileSize, header) || header.id != kEbmlHeader || header.unknownSize) return false;
    if (!ReadElementHeader(file, header.dataOffset + header.size, fileSize, segment) || segment.id != kSegment) return false;
    const uint64_t segmentEnd =
        segment.unknownSize ? fileSize : std::min(fileSize, segment.dataOffset + segment.size);
    // The track list comes before the first cluster of frames.
    uint64_t offset = segment.dataOffset;
    for (int item = 0; item < kMaxTopLevelItems && offset < segmentEnd; ++item) {
        Element element;
        if (!ReadElementHeader(file, offset, fileSize, element) || element.unknownSize || element.id == kCluster) return false;
        if (element.id != kTracks) {
            offset = element.dataOffset + element.size;
            continue;
        }
        std::vector<uint8_t> tracks;
        if (element.size > kMaxTracksElement || element.size > fileSize - element.dataOffset ||
            !ReadBlock(file, element.dataOffset, element.size, tracks))
            return false;
        // A video track's codec name is made one no decoder has ("V_..." becomes "X_..."),
        // and the parser leaves it out.
        return ForEachElement(tracks.data(), tracks.size(), [&](const Element& entry, const uint8_t* entryData) {
            if (entry.id != kTrackEntry) return;
            uint64_t type = 0, codecAt = 0;
            bool hasCodec = false;
            ForEachElement(entryData, static_cast<size_t>(entry.size), [&](const Element& field, const uint8_t* value) {
                if (field.id == kTrackType && field.size >= 1 && field.size <= 8) {
                    type = 0;
                    for (uint64_t i = 0; i < field.size; ++i) type = type << 8 | value[i];
                } else if (field.id == kCodecId && field.size >= 1) {
                    codecAt = element.dataOffset + entry.dataOffset + field.dataOffset;
                    hasCodec = true;
                }
            });
            if (type != kVideoTrackType) return;
            if (++videoTracks > 1 && hasCodec) patches.push_back({codecAt, "X"});
        });
    }
    return false;
}

void VideoTrackMask_CL::Apply(uint64_t offset, uint8_t* data, size_t size) const
{
    for (const Patch& patch : patches) {
        const uint64_t begin = std::max(offset, patch.offset);
        const uint64_t end = std::min(offset + size, patch.offset + patch.bytes.size());
        if (begin >= end) continue;
        memcpy(data + (begin - offset), patch.bytes.data() + (begin - patch.offset), static_cast<size_t>(end - begin));
    }
}

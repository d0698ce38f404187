#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The bytes to change, in what the platform's parser reads, so that it sees only the first
// video track of an MP4/MOV or Matroska/WebM movie. Its splitter numbers several video
// streams of one file in an order that changes from run to run (and offers nothing that
// tells them apart), so a preview would show one track one time and another the next; a
// parser that finds a single video track previews the container's first. Nothing is ever
// written to the file: the masked bytes are applied to what is read.
class VideoTrackMask_CL {
public:
    struct Patch {
        uint64_t offset = 0;
        std::string bytes;
    };

    // Empty for a movie with at most one video track, a container of another kind, or one
    // whose structure does not read as expected (then the file is rendered as it is).
    static VideoTrackMask_CL ForFile(HANDLE file);

    bool IsEmpty() const { return patches.empty(); }
    const std::vector<Patch>& Patches() const { return patches; }
    int VideoTracks() const { return videoTracks; }
    // Overwrites the masked bytes that fall inside `data`, read from `offset`.
    void Apply(uint64_t offset, uint8_t* data, size_t size) const;

private:
    bool ReadMp4(HANDLE file, uint64_t fileSize);
    bool ReadMatroska(HANDLE file, uint64_t fileSize);

    std::vector<Patch> patches;
    int videoTracks = 0;
};

// Reads `size` bytes at `offset` of a file opened for reading; false on a short read.
bool ReadFileAt(HANDLE file, uint64_t offset, void* data, DWORD size);

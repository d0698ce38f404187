#pragma once
#include <string>
#include <vector>

#include "engine/DuplicateGroup.h"

// The texts a result is shown and saved with, the same in the window and on the console.

// The share of a file found equal to its group's first file: "---" for that file itself,
// "99%" for a file of 1,000 bytes of which 999 were compared.
std::wstring ComparedShareText(const CompareFileEntry& entry, bool isGroupBase);
// The share column of a group's member: ComparedShareText for the same bytes; "類似 96%"
// (the first file's "類似 100%") for a member of a similar group.
std::wstring ShareText(const CompareFileEntry& entry, bool isGroupBase, bool isSimilar);
// A last-write time (FILETIME units, UTC) in local time: "2026/12/07 21:29:11"; empty for 0.
std::wstring LocalTimeText(uint64_t fileTime);
// The space the copies take beyond one file: size x (count - 1). Of a similar group, whose
// files differ in size, the sizes of all but the largest: what goes whichever file stays.
uint64_t WastedBytes(const DuplicateGroup& group);
// The groups as CSV in UTF-8 with a byte-order mark (so a Japanese spreadsheet reads it
// right), one line per file: group number (from 1, in the order given), path, size in
// bytes, last-write time, share compared (ShareText), ticked (1 or 0). Lines end in CR LF.
// When similar groups are among them, every line ends in two more fields, so that a reader of
// the columns before finds them in their places: the kind ("同一" for the same bytes, "類似"
// for a similar movie) and the similarity to the group's first file ("96%"; empty for the
// same bytes). Without similar groups the lines are as they always were.
std::string ResultCsv(const std::vector<const DuplicateGroup*>& groups);

#pragma once
#include <vector>

#include "engine/CompareFileEntry.h"

// Non-owning pointers into the scanner's file list; the base (member 0) first, the others
// in list order. A similar group holds movies found to be the same movie in other
// encodings (each member's score in its `similarity`): its files differ by design.
struct DuplicateGroup : std::vector<CompareFileEntry*> {
    using std::vector<CompareFileEntry*>::vector;
    bool isSimilar = false;
};

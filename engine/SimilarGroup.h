#pragma once
#include <vector>

#include "engine/CompareFileEntry.h"

// Movies found to be the same movie in another encoding: the group's first file (its base)
// first, then the others in list order, each with how similar it is to the base (percent;
// the base's own is 100). Non-owning pointers into the scanner's file list.
struct SimilarGroup {
    std::vector<CompareFileEntry*> files;
    std::vector<int> scores;
};

#pragma once
#include <vector>

#include "engine/CompareFileEntry.h"

// Non-owning pointers into the scanner's file list; the base (member 0) first, the others
// in list order.
using DuplicateGroup = std::vector<CompareFileEntry*>;

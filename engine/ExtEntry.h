#pragma once
#include <string>

// One entry of an extension list.
struct ExtEntry {
    int isEnabled = 1;
    int isBuiltin = 0;
    std::wstring extension;    // with its dot, A-Z folded to lower case
    std::wstring contentType;  // registry "Content Type", or the user-entry marker
};

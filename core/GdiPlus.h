#pragma once
// GDI+ wants the min and max macros that NOMINMAX keeps out.
#include <windows.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

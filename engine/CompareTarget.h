#pragma once
#include "engine/CompareFileEntry.h"

class ApplicationData_CL;

// 1 when the file's extension stands enabled in the movie list (while movies are compared)
// or, when the movie list does not know it, in the still-image list (while images are).
int IsCompareTarget(const CompareFileEntry& file, const ApplicationData_CL& settings);
int IsCompareTarget(const CompareFileEntry& file);
// Whether the file's extension stands enabled in the movie list: the movies whose
// fingerprints the similar search takes.
bool IsEnabledMovie(const CompareFileEntry& file, const ApplicationData_CL& settings);

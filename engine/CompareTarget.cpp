#include "engine/CompareTarget.h"

#include "core/ApplicationData_CL.h"
#include "core/PathFunctions.h"

int IsCompareTarget(const CompareFileEntry& file, const ApplicationData_CL& settings)
{
    std::wstring extension = GetExtension(file.path);
    ExtEntry found;
    if (settings.compareMovie && settings.movieExtInfo.Find(extension, found)) return found.isEnabled;
    if (settings.compareImage && settings.pictureExtInfo.Find(extension, found)) return found.isEnabled;
    return 0;
}

int IsCompareTarget(const CompareFileEntry& file)
{
    return IsCompareTarget(file, TheApplicationData());
}

bool IsEnabledMovie(const CompareFileEntry& file, const ApplicationData_CL& settings)
{
    ExtEntry found;
    return settings.movieExtInfo.Find(GetExtension(file.path), found) && found.isEnabled;
}

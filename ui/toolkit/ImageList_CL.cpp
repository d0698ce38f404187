#include "ui/toolkit/ImageList_CL.h"

#include "core/UniqueHandle.h"

ImageList_CL::~ImageList_CL()
{
    if (imageList && !isShared) ImageList_Destroy(imageList);
}

int ImageList_CL::LoadStrip(const std::wstring& fileName, int cellWidth)
{
    // Not LR_SHARED: a shared bitmap must not be deleted, and this one is ours to delete.
    GdiObject bitmap(::LoadImageW(nullptr, fileName.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    BITMAP info = {};
    if (!bitmap || !::GetObjectW(bitmap.Get(), sizeof(info), &info) || cellWidth <= 0) return 0;
    HIMAGELIST created = ImageList_Create(cellWidth, info.bmHeight, ILC_COLOR24 | ILC_MASK, info.bmWidth / cellWidth, 0);
    if (!created) return 0;
    ImageList_AddMasked(created, static_cast<HBITMAP>(bitmap.Get()), kTransparent);
    if (imageList && !isShared) ImageList_Destroy(imageList);
    imageList = created;
    return 1;
}

SIZE ImageList_CL::GetImageSize() const
{
    int width = 0, height = 0;
    if (imageList) ImageList_GetIconSize(imageList, &width, &height);
    return SIZE{width, height};
}

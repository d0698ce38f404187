#pragma once
#include <windows.h>
#include <strmif.h>

// AM_MEDIA_TYPE helpers that the SDK's base classes would have given.
void FreeMediaType(AM_MEDIA_TYPE& type);                        // the format block and the reference
void DeleteMediaType(AM_MEDIA_TYPE* type);                      // a CoTaskMem-allocated record, all of it
HRESULT CopyMediaType(AM_MEDIA_TYPE& target, const AM_MEDIA_TYPE& source);  // deep copy
AM_MEDIA_TYPE* CreateMediaTypeCopy(const AM_MEDIA_TYPE& source);  // CoTaskMem record, deep copy

// Owns one AM_MEDIA_TYPE record's contents.
class MediaType {
public:
    MediaType() : type{} {}
    ~MediaType() { FreeMediaType(type); }
    MediaType(const MediaType&) = delete;
    MediaType& operator=(const MediaType&) = delete;
    AM_MEDIA_TYPE* operator->() { return &type; }
    AM_MEDIA_TYPE& Get() { return type; }
    const AM_MEDIA_TYPE& Get() const { return type; }

private:
    AM_MEDIA_TYPE type;
};

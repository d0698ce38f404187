#pragma once
#include <windows.h>

#include "core/UniqueHandle.h"

// The Documents folder of the test prefix is one for every test process: held while a test
// points it elsewhere, or relies on where it is (a program that keeps files there), so that
// a test of another test program never sees it moved under it. A lock left by a process that
// died is taken over (an abandoned mutex is owned by the next waiter).
class DocumentsFolderLock {
public:
    DocumentsFolderLock() : mutex(::CreateMutexW(nullptr, FALSE, L"quillmere-tests-documents-folder"))
    {
        if (mutex) ::WaitForSingleObject(mutex.Get(), INFINITE);
    }
    ~DocumentsFolderLock()
    {
        if (mutex) ::ReleaseMutex(mutex.Get());
    }
    DocumentsFolderLock(const DocumentsFolderLock&) = delete;
    DocumentsFolderLock& operator=(const DocumentsFolderLock&) = delete;

private:
    KernelHandle mutex;
};

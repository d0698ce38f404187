#pragma once
#include <windows.h>

// Every program the shell starts for us (Explorer, the player, the browser) is started
// through this function, so that tests can record what would be started instead.
using ShellExecuteFunction = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
ShellExecuteFunction& TheShellExecute();

#pragma once
#include <windows.h>

#include <string>

struct CliResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

// Runs build/bin/quillmere-cli.exe with the arguments and collects what it prints.
CliResult RunCli(const std::wstring& arguments);
// Text as the console tool prints it: UTF-8.
std::string Utf8(const std::wstring& text);

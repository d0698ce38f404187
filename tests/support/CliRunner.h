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

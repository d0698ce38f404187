#pragma once
#include <windows.h>

#include <string>

struct CliResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
};

// Runs build/bin/quillmere-cli.exe with the arguments and collects what it prints to stdout.
CliResult RunCli(const std::wstring& arguments);

#pragma once
#include <string>

// The product's page on the web, opened by the version page and the main window's menu.
constexpr const wchar_t kSupportSiteAddress[] = L"https://www.quillmere.jp/Quillmere/";

// The longest address opened (a download page's address is far shorter).
constexpr size_t kLongestWebAddress = 768;

// Opens a web address in the browser. Only http:// and https:// addresses are opened: the
// update check's address comes from the network, and a program or a share must never be
// started from it (such an address is logged, and 0 returned). With `flag` 0 and a file
// c:\MyHome.txt present, nothing is opened and 1 returned. A % that starts no %XX escape
// is passed on as %25, so the shell fills in nothing. Otherwise ShellExecuteW's result.
int OpenAddress(const std::wstring& address, int flag);
// Whether the address is one OpenAddress opens (http or https, at most kLongestWebAddress).
bool IsWebAddress(const std::wstring& address);

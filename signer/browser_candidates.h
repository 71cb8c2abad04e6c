// The maker's own browsers that are installed, in the order in which the web
// page opener tries them.
#pragma once

#include <string>
#include <vector>

// The user's default browser as the registry records it: the ProgId of the
// user's choice for "http" (Vista and later), else the command line of the
// "http" open verb, else the class of ".html". False, with `text` untouched,
// when none of them is a non-empty value.
bool ReadDefaultBrowser(std::wstring& text);

// Full executable paths (at most 259 code units each) of the installed maker
// browsers, the user's default one first. Empty when none is installed, or
// when a default browser is recorded but StrStrIW cannot be bound.
std::vector<std::wstring> FindBrowserCandidates();

// The test for a folder name read from a file that the user can write
// ("config.ini", "temp.ini") before it is appended to a fixed root.
#pragma once

#include <string>

// True when `name` is one ordinary folder name: not empty, without
// separators, drive colon, wildcards or other characters that names cannot
// hold, and not ending in a dot or space. The last rule also refuses "." and
// "..", and names like "... " that the system would shorten to something
// else. Any refused value could lead out of the root it is appended to.
bool IsPlainFolderName(const std::wstring& name);

// A small text log that keeps its newest lines: written by processes that
// must never wait for it or fail because of it, and read by people.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace bounded_log {

// Appends `line` (UTF-8, ending with a line break) to the log at `path`,
// creating it when missing. When the log would grow past `limit` bytes, the
// older half of what it holds goes first (from a line start on). The file is
// opened without following a link and without sharing, so that two writers
// never mix their lines; a link, a file that another process has open for
// longer than a moment, or any other failure changes nothing and gives false.
bool Append(const std::wstring& path, const std::string& line, size_t limit);

// The last `count` lines of the log (at most the last `limit` bytes are
// read), oldest first, without their line breaks. Empty when there is no log
// or it cannot be read.
std::vector<std::string> LastLines(const std::wstring& path, size_t count, size_t limit);

}  // namespace bounded_log

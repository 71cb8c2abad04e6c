// Opens a web page for the user in a browser.
#pragma once

// Starts the first that works of: the maker's installed browsers (the default
// one first), the shell's handler for the address, Internet Explorer from its
// usual folders. `url` is NUL-terminated. Returns 0 when nothing was started
// (also for a null, empty or 4090-character or longer `url`, and always under
// the system account), else non-zero.
unsigned OpenWebPage(const wchar_t* url);

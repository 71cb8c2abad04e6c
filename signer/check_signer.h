// The function each launcher exports by name, through which modules in the
// process ask whether a file is signed by an allowed publisher, or by the
// publisher they name.
#pragma once

extern "C" {

// True when the file at `path` is trusted. `expectedSigner` null or empty
// accepts any allowed publisher. With `showNotice`, a refused file gets the
// failure notice. An empty path is refused without a notice.
bool CheckSigner(const wchar_t* path, const wchar_t* expectedSigner, bool showNotice);

using CheckSignerFunction = bool (*)(const wchar_t* path, const wchar_t* expectedSigner, bool showNotice);

}  // extern "C"

// Prints the MD5 digest of the file named on the command line. Its import
// table shows what linking libcrypto adds to a program.
#include <cstdio>

#include "hash/file_md5.h"
#include "platform/win.h"

int wmain(int argc, wchar_t** argv) {
  std::wstring digest;
  if (argc < 2 || !GetFileMD5(argv[1], digest)) return 1;
  std::wprintf(L"%ls\n", digest.c_str());
  return 0;
}

// Prints the application directory and the cache file location as a launcher
// finds them. Its import table shows which system DLLs the location code
// links: the registry, token, process and session functions must be bound at
// run time instead.
#include <cstdio>

#include "locations/product_paths.h"

int wmain() {
  const std::wstring application = ProductPaths::ApplicationDirectory(L"VaroPic", L"config.ini", L"Upgrade", L"Version");
  std::wprintf(L"%ls\n%ls\n", application.c_str(), ProductPaths::SignerCacheLocation().c_str());
  return application.empty() ? 1 : 0;
}

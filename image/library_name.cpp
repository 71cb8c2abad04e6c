#include "image/library_name.h"

#include "platform/ascii_fold.h"

namespace library_name {

std::wstring LoaderFileName(const std::wstring& name) {
  std::wstring file = name;
  if (file.find(L'.') == std::wstring::npos) file += L".dll";
  while (!file.empty() && (file.back() == L'.' || file.back() == L' ')) file.pop_back();
  return file;
}

std::wstring Key(const std::wstring& name) { return platform::FoldAscii(LoaderFileName(name)); }

std::vector<std::wstring> ForwarderLibraries(const std::string& forwarder) {
  std::vector<std::wstring> libraries;
  for (const size_t dot : {forwarder.rfind('.'), forwarder.find('.')}) {
    if (dot == std::string::npos || dot == 0) continue;
    const std::string library = forwarder.substr(0, dot);
    std::wstring file = LoaderFileName(std::wstring(library.begin(), library.end()));
    if (file.empty()) continue;
    if (libraries.empty() || Key(libraries.front()) != Key(file)) libraries.push_back(std::move(file));
  }
  return libraries;
}

bool IsApiSetName(const std::wstring& name) {
  const std::wstring folded = platform::FoldAscii(name);
  return folded.rfind(L"api-ms-", 0) == 0 || folded.rfind(L"ext-ms-", 0) == 0;
}

}  // namespace library_name

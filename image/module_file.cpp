#include "image/module_file.h"

#include <vector>

#include "image/pe_image.h"
#include "platform/mapped_file_name.h"
#include "platform/module_file_name.h"

namespace {

// A mapped image's headers lie in its first page, which is always mapped.
constexpr size_t kMappedHeaderBytes = 4096;

bool ReadMappedFields(HMODULE module, pe_image::HeaderFields& fields) {
  return pe_image::ReadHeaderFields(reinterpret_cast<const uint8_t*>(module), kMappedHeaderBytes, fields);
}

}  // namespace

ModuleFile ModuleFile::Pin(HMODULE module) {
  if (module == nullptr) module = ::GetModuleHandleW(nullptr);
  const std::wstring path = platform::ModuleFileName(module);
  if (path.empty()) return ModuleFile(module, PinnedFile());
  return ModuleFile(module, PinnedFile::Open(path));
}

bool ModuleFile::MappedSigned() const {
  pe_image::HeaderFields mapped;
  return module_ != nullptr && ReadMappedFields(module_, mapped) && mapped.certificateSize != 0;
}

bool ModuleFile::MatchesMapping() const {
  if (!IsPinned()) return false;
  pe_image::HeaderFields mapped;
  pe_image::HeaderFields onDisk;
  const std::vector<uint8_t> start = pe_image::ReadFileStart(file_.Get());
  if (!ReadMappedFields(module_, mapped) || !pe_image::ReadHeaderFields(start.data(), start.size(), onDisk) ||
      !(mapped == onDisk)) {
    return false;
  }
  // Where the system follows the mapped file through renames (Windows), a
  // file put at the old path is told apart by its name; Wine keeps the old
  // name, and there the headers above are what tells. A system that has the
  // function but gives no name has not said it is this file.
  const std::wstring mappedName = platform::MappedFileName(module_);
  if (mappedName.empty()) return !platform::MappedFileNameAvailable();
  return file_.IsNamedBy(mappedName);
}

#include "signer/module_publishers.h"

#include <utility>

#include "platform/module_file_name.h"

using platform::SignatureVerdict;

namespace {

Publisher DetermineModulePublisher(const ModuleFile& file, FileVerdicts& verdicts) {
  // A file that cannot be held, or is not the one that was mapped, leaves
  // the verdict at Failed: nothing is accepted on its behalf.
  if (!file.MatchesMapping()) return {};
  Publisher publisher = DeterminePublisher(verdicts, file.File().Path(), file.File().Get());
  // Whatever the check says now, an image that was started signed is no
  // development build, and must not accept every file.
  if (publisher.verdict == SignatureVerdict::NotSigned && file.MappedSigned()) {
    publisher.verdict = SignatureVerdict::Failed;
  }
  return publisher;
}

}  // namespace

Publisher DeterminePublisher(FileVerdicts& verdicts, const std::wstring& path, HANDLE pinned) {
  FileCheck check = verdicts.Check(path, pinned);
  if (check.fromCache && check.verdict == SignatureVerdict::NotSigned) check = verdicts.CheckAfresh(path, pinned);
  return {check.verdict, std::move(check.signer)};
}

const Publisher& ModulePublishers::PublisherOf(HMODULE module, FileVerdicts& verdicts) {
  ModuleRecord& record = Record(module);
  if (!record.publisher) record.publisher = DetermineModulePublisher(record.file, verdicts);
  return *record.publisher;
}

ModulePublishers::ModuleRecord& ModulePublishers::Record(HMODULE module) {
  if (module == nullptr) module = ::GetModuleHandleW(nullptr);
  const std::wstring path = platform::ModuleFileName(module);
  for (ModuleRecord& known : records_) {
    if (known.file.Module() == module && known.path == path) return known;
  }
  return records_.emplace_back(ModuleRecord{path, ModuleFile::Pin(module), std::nullopt});
}

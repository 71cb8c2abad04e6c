#include "signer/dependency_closure.h"

#include <deque>

#include "locations/file_system.h"
#include "locations/path_text.h"
#include "locations/pe_image.h"
#include "platform/ascii_fold.h"
#include "platform/system_library.h"

namespace {

constexpr size_t kMaxDepth = 8;
constexpr size_t kMaxProductFiles = 64;

bool IsApiSetName(const std::wstring& name) {
  const std::wstring folded = platform::FoldAscii(name);
  return folded.rfind(L"api-ms-", 0) == 0 || folded.rfind(L"ext-ms-", 0) == 0;
}

bool InSystemFolder(const std::wstring& name) {
  const std::wstring& system = platform::SystemDirectory();
  return !system.empty() && FileSystem::IsFile(system + L"\\" + name);
}

class Walk {
 public:
  Walk(const std::wstring& folder, const DependencyJudge& judge, const LoadedLibraryTest& isLoaded)
      : folder_(folder), judge_(judge), isLoaded_(isLoaded) {}

  DependencyClosure Run(const PinnedFile& module) {
    seen_.push_back(platform::FoldAscii(PathText::NamePart(module.Path())));
    queue_.push_back({module.Get(), module.Path(), 0});
    while (!queue_.empty() && closure_.result == DependencyClosure::Result::Complete) {
      const Pending next = queue_.front();
      queue_.pop_front();
      Follow(next);
    }
    return std::move(closure_);
  }

 private:
  struct Pending {
    HANDLE file;
    std::wstring path;
    size_t depth;
  };

  void Refuse(const std::wstring& path, const wchar_t* reason) {
    closure_.result = DependencyClosure::Result::Refused;
    closure_.file = path;
    closure_.reason = reason;
  }

  bool FirstTime(const std::wstring& name) {
    std::wstring folded = platform::FoldAscii(name);
    for (const std::wstring& known : seen_) {
      if (known == folded) return false;
    }
    seen_.push_back(std::move(folded));
    return true;
  }

  void Follow(const Pending& image) {
    std::vector<std::wstring> names;
    if (!pe_image::ReadImportedLibraries(image.file, names)) {
      return Refuse(image.path, L"its import tables cannot be read");
    }
    for (const std::wstring& name : names) {
      if (IsApiSetName(name) || !FirstTime(name)) continue;
      if (!Place(name, image.depth)) return;
    }
  }

  // Records where the loader would find `name`; false when that ends the walk.
  bool Place(const std::wstring& name, size_t depth) {
    DependencyFinding& finding = closure_.findings.emplace_back();
    finding.name = name;
    if (isLoaded_(name)) {
      finding.where = DependencyFinding::Where::Loaded;
      return true;
    }
    const std::wstring path = folder_ + name;
    if (FileSystem::IsFile(path)) {
      finding.where = DependencyFinding::Where::ProductFolder;
      finding.path = path;
      return Admit(finding, depth);
    }
    if (InSystemFolder(name)) {
      finding.where = DependencyFinding::Where::SystemFolder;
      return true;
    }
    closure_.result = DependencyClosure::Result::Missing;
    closure_.file = name;
    return false;
  }

  bool Admit(DependencyFinding& finding, size_t depth) {
    if (closure_.held.size() == kMaxProductFiles || depth + 1 > kMaxDepth) {
      Refuse(finding.path, L"the module's libraries go deeper than any product's");
      return false;
    }
    PinnedFile pinned = PinnedFile::Open(finding.path);
    if (!pinned.IsValid()) {
      Refuse(finding.path, L"it cannot be held open");
      return false;
    }
    finding.decision = judge_(finding.path, pinned.Get());
    if (!finding.decision.trusted) {
      Refuse(finding.path, L"it is not signed by an allowed publisher");
      return false;
    }
    queue_.push_back({pinned.Get(), finding.path, depth + 1});
    closure_.held.push_back(std::move(pinned));
    return true;
  }

  const std::wstring& folder_;
  const DependencyJudge& judge_;
  const LoadedLibraryTest& isLoaded_;
  DependencyClosure closure_;
  std::deque<Pending> queue_;
  std::vector<std::wstring> seen_;
};

}  // namespace

DependencyClosure WalkDependencies(const PinnedFile& module, const std::wstring& folder,
                                   const DependencyJudge& judge, const LoadedLibraryTest& isLoaded) {
  return Walk(folder, judge, isLoaded).Run(module);
}

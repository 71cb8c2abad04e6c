#include "image/dependency_closure.h"

#include <map>

#include "image/library_name.h"
#include "image/pe_image.h"
#include "platform/file_system.h"
#include "platform/path_text.h"
#include "platform/system_library.h"

namespace {

constexpr size_t kMaxDepth = 8;
constexpr size_t kMaxProductFiles = 64;

bool InSystemFolder(const std::wstring& name) {
  const std::wstring& system = platform::SystemDirectory();
  return !system.empty() && FileSystem::IsFile(system + L"\\" + name);
}

// Every library the image open in `file` makes the loader look for by name,
// as file names: imports, delayed imports, forwarders' libraries.
bool ReadLinkedLibraries(HANDLE file, std::vector<std::wstring>& libraries, std::vector<std::string>& exportNames) {
  std::vector<std::wstring> imports;
  pe_image::Exports exports;
  if (!pe_image::ReadImportedLibraries(file, imports) || !pe_image::ReadExports(file, exports)) return false;
  for (const std::wstring& name : imports) libraries.push_back(library_name::LoaderFileName(name));
  for (const std::string& forwarder : exports.forwarders) {
    for (std::wstring& name : library_name::ForwarderLibraries(forwarder)) libraries.push_back(std::move(name));
  }
  exportNames = std::move(exports.names);
  return true;
}

class Walk {
 public:
  Walk(const std::wstring& folder, const DependencyJudge& judge, const LoadedLibraryTest& isLoaded)
      : folder_(folder), judge_(judge), isLoaded_(isLoaded) {}

  DependencyClosure Run(const PinnedFile& module) {
    const std::wstring key = library_name::Key(PathText::NamePart(module.Path()));
    state_[key] = State::Walking;
    Visit(module.Get(), module.Path(), 0, &closure_.moduleExports);
    return std::move(closure_);
  }

 private:
  // Walking: a product file whose libraries are being walked, so not yet
  // loadable; Placed: any other library already met.
  enum class State { Walking, Placed };

  bool Refuse(const std::wstring& path, const std::wstring& reason) {
    closure_.result = DependencyClosure::Result::Refused;
    closure_.file = path;
    closure_.reason = reason;
    return false;
  }

  bool Visit(HANDLE file, const std::wstring& path, size_t depth, std::vector<std::string>* exportNames) {
    std::vector<std::wstring> libraries;
    std::vector<std::string> names;
    if (!ReadLinkedLibraries(file, libraries, names)) {
      return Refuse(path, L"its import or export tables cannot be read");
    }
    if (exportNames != nullptr) *exportNames = std::move(names);
    for (const std::wstring& name : libraries) {
      if (name.empty()) return Refuse(path, L"it names a library without a name");
      const std::wstring key = library_name::Key(name);
      const auto known = state_.find(key);
      if (known != state_.end()) {
        if (known->second == State::Walking) {
          return Refuse(folder_ + name, L"the product's libraries need each other in a circle");
        }
        continue;
      }
      state_[key] = State::Placed;
      if (!Place(name, depth)) return false;
    }
    return true;
  }

  // Records where `name` will come from; false when that ends the walk.
  bool Place(const std::wstring& name, size_t depth) {
    closure_.findings.push_back({name, DependencyFinding::Where::Missing, L"", {}});
    DependencyFinding& finding = closure_.findings.back();
    if (isLoaded_(name)) {
      finding.where = DependencyFinding::Where::Loaded;
      return true;
    }
    const std::wstring path = folder_ + name;
    if (FileSystem::IsFile(path)) {
      finding.where = DependencyFinding::Where::ProductFolder;
      finding.path = path;
      return Admit(name, path, depth);
    }
    if (library_name::IsApiSetName(name)) {
      finding.where = DependencyFinding::Where::ApiSet;
      return true;
    }
    if (InSystemFolder(name)) {
      finding.where = DependencyFinding::Where::SystemFolder;
      return true;
    }
    closure_.result = DependencyClosure::Result::Missing;
    closure_.file = name;
    return false;
  }

  bool Admit(const std::wstring& name, const std::wstring& path, size_t depth) {
    if (admitted_ == kMaxProductFiles || depth + 1 > kMaxDepth) {
      return Refuse(path, L"the module's libraries go deeper than any product's");
    }
    ++admitted_;
    PinnedFile pinned = PinnedFile::Open(path);
    if (!pinned.IsValid()) return Refuse(path, L"it cannot be held open");
    // The finding may move as the walk below adds more.
    const size_t index = closure_.findings.size() - 1;
    closure_.findings[index].decision = judge_(path, pinned.Get());
    if (!closure_.findings[index].decision.trusted) {
      return Refuse(path, RefusalReason(closure_.findings[index].decision));
    }
    const std::wstring key = library_name::Key(name);
    state_[key] = State::Walking;
    if (!Visit(pinned.Get(), path, depth + 1, nullptr)) return false;
    state_[key] = State::Placed;
    closure_.held.push_back(std::move(pinned));
    return true;
  }

  const std::wstring& folder_;
  const DependencyJudge& judge_;
  const LoadedLibraryTest& isLoaded_;
  DependencyClosure closure_;
  std::map<std::wstring, State> state_;
  size_t admitted_ = 0;
};

}  // namespace

DependencyClosure WalkDependencies(const PinnedFile& module, const std::wstring& folder,
                                   const DependencyJudge& judge, const LoadedLibraryTest& isLoaded) {
  return Walk(folder, judge, isLoaded).Run(module);
}

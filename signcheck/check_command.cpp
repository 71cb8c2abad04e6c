#include "signcheck/check_command.h"

#include <algorithm>
#include <string>
#include <vector>

#include "locations/product_paths.h"
#include "platform/ascii_fold.h"
#include "platform/file_system.h"
#include "platform/path_text.h"
#include "platform/unique_handle.h"
#include "signcheck/check_report.h"
#include "signcheck/exit_status.h"
#include "signcheck/reference_launcher.h"
#include "signer/signer_service.h"
#include "signer/signer_verifier.h"

namespace {

// The launcher whose publisher counts as the product's own when no
// --launcher is given: the installed picture viewer's.
constexpr wchar_t kInstalledLauncher[] = L"VaroPicViewer.exe";

bool IsModuleName(const std::wstring& name) {
  const std::wstring folded = platform::FoldAscii(name);
  return folded.size() > 4 && (folded.ends_with(L".dll") || folded.ends_with(L".exe"));
}

// Adds the .dll and .exe files in `folder` to `files`, and with `recursive`
// those of its subfolders; a folder that is a link is not entered, so no
// loop of links makes the walk endless.
void AddModulesIn(const std::wstring& folder, bool recursive, std::vector<std::wstring>& files) {
  WIN32_FIND_DATAW found{};
  const platform::UniqueFindHandle search(::FindFirstFileW(PathText::Join(folder, L"*").c_str(), &found));
  if (!search) return;
  do {
    const std::wstring name = found.cFileName;
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      if (IsModuleName(name)) files.push_back(PathText::Join(folder, name));
    } else if (recursive && name != L"." && name != L".." && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      AddModulesIn(PathText::Join(folder, name), recursive, files);
    }
  } while (::FindNextFileW(search.Get(), &found));
}

// The modules of `folder` (see AddModulesIn), by path.
std::vector<std::wstring> ModulesIn(const std::wstring& folder, bool recursive) {
  std::vector<std::wstring> files;
  AddModulesIn(folder, recursive, files);
  std::sort(files.begin(), files.end(), [](const std::wstring& a, const std::wstring& b) {
    return platform::FoldAscii(a) < platform::FoldAscii(b);
  });
  return files;
}

// A file to check, or with `missing`, why it cannot be.
CheckedFile ToCheck(std::wstring path, std::wstring missing = {}) {
  CheckedFile file;
  file.path = std::move(path);
  file.missing = std::move(missing);
  return file;
}

// Each argument as the files to check: a folder stands for its modules. What
// cannot be checked is kept, with the reason, so that it is reported in its
// place.
std::vector<CheckedFile> ExpandArguments(const std::vector<std::wstring>& arguments, bool recursive) {
  std::vector<CheckedFile> files;
  for (const std::wstring& argument : arguments) {
    const std::wstring path = FullPathOf(argument);
    if (FileSystem::IsFile(path)) {
      files.push_back(ToCheck(path));
    } else if (!FileSystem::IsDirectory(path)) {
      files.push_back(ToCheck(path, L"no such file"));
    } else if (std::vector<std::wstring> modules = ModulesIn(path, recursive); modules.empty()) {
      files.push_back(ToCheck(path, L"a folder without .dll or .exe files"));
    } else {
      for (std::wstring& module : modules) files.push_back(ToCheck(std::move(module)));
    }
  }
  return files;
}

}  // namespace

int RunCheck(const CommandLine& command, ConsoleWriter& out, ConsoleWriter& err) {
  CheckReport report;
  report.fresh = command.fresh;
  report.files = ExpandArguments(command.files, command.recursive);
  report.reference = FindReference(command.launcher, kInstalledLauncher);

  // The service hands the launchers' cache file to the verifier on first
  // use; without it the verifier has no cache file to read or write.
  SignerService* service = command.fresh ? nullptr : &SignerService::Instance();
  SignerVerifier& verifier = SignerVerifier::Instance();
  Reference& reference = report.reference;
  UseReference(reference);
  if (reference.missing) err.WriteLine(L"VaroSignCheck: no such launcher file: " + reference.path);

  bool allTrusted = !reference.missing;
  const wchar_t* expected = command.expect.empty() ? nullptr : command.expect.c_str();
  for (CheckedFile& file : report.files) {
    if (!file.missing.empty()) {
      err.WriteLine(L"VaroSignCheck: " + file.missing + L": " + file.path);
      allTrusted = false;
      continue;
    }
    // Without a cache file the verifier still remembers verdicts for the
    // rest of the run; forgetting them keeps every check of --fresh fresh.
    if (command.fresh) verifier.Release();
    file.decision = verifier.Decide(file.path.c_str(), expected);
    // A cached verdict is only as good as the file's size and times, which a
    // change in place can keep: unless --cached asks for the cache's answer
    // alone, it is checked again, and a fresh verdict that differs replaces
    // it, here and in the cache. The cache was wrong about the file, which
    // the exit status says too.
    if (file.decision.fromCache && !command.cached) {
      const TrustDecision fresh = verifier.DecideAfresh(file.path.c_str(), expected);
      if (fresh.verdict != file.decision.verdict || fresh.signer != file.decision.signer) {
        file.staleVerdict = file.decision.verdict;
        file.decision = fresh;
      }
    }
    file.examination = ExamineSignature(file.path, {command.revocation, command.everySignature});
    file.facts = ReadFileFacts(file.path);
    allTrusted = allTrusted && file.decision.trusted && !file.staleVerdict;
  }
  report.allTrusted = allTrusted;
  if (service != nullptr) {
    // Writes the verdicts back now rather than in the exit handlers.
    service->Release();
    report.cacheFile = ProductPaths::SignerCacheLocation();
  }

  out.Write(command.json ? CheckJson(report) : CheckText(report));
  return allTrusted ? exit_status::kOk : exit_status::kFailed;
}

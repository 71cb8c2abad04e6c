#include "launcher/signcheck/check_command.h"

#include <string>
#include <vector>

#include "launcher/signcheck/exit_status.h"
#include "launcher/signcheck/json_writer.h"
#include "launcher/signcheck/verdict_text.h"
#include "locations/file_system.h"
#include "locations/path_text.h"
#include "locations/product_layout.h"
#include "locations/product_paths.h"
#include "signer/signer_service.h"
#include "signer/signer_verifier.h"
#include "signer/trust_decision.h"

namespace {

// The launcher whose publisher counts as the product's own when no
// --launcher is given: the installed picture viewer's.
constexpr wchar_t kInstalledLauncher[] = L"VaroPicViewer.exe";

struct Reference {
  std::wstring path;  // empty: the own-publisher rule is off
  bool installed = false;
  platform::SignatureVerdict verdict = platform::SignatureVerdict::Unavailable;
  std::wstring signer;
};

struct CheckedFile {
  std::wstring path;
  TrustDecision decision;
};

std::wstring FullPathOf(const std::wstring& path) {
  std::wstring full;
  size_t filePart = 0;
  return PathText::FullPath(path, full, filePart) ? full : path;
}

const wchar_t* RuleKey(TrustRule rule) {
  switch (rule) {
    case TrustRule::AllowedPublisher: return L"allowedPublisher";
    case TrustRule::ExpectedSigner: return L"expectedSigner";
    case TrustRule::OwnPublisher: return L"ownPublisher";
    case TrustRule::UnsignedLauncher: return L"unsignedLauncher";
    case TrustRule::Refused: return L"refused";
  }
  return L"refused";
}

std::wstring RuleText(const TrustDecision& decision) {
  switch (decision.rule) {
    case TrustRule::AllowedPublisher: return L"allowed publisher (row " + std::to_wstring(decision.allowedRow) + L")";
    case TrustRule::ExpectedSigner: return L"expected signer";
    case TrustRule::OwnPublisher: return L"own publisher of the launcher";
    case TrustRule::UnsignedLauncher: return L"unsigned launcher (it accepts every file)";
    case TrustRule::Refused: return L"refused";
  }
  return L"refused";
}

// The --launcher file, else the installed launcher, else none. False (after
// telling why) when --launcher names no file.
bool FindReference(const CommandLine& command, ConsoleWriter& err, Reference& reference) {
  if (!command.launcher.empty()) {
    if (!FileSystem::IsFile(command.launcher)) {
      err.WriteLine(L"VaroSignCheck: no such launcher file: " + command.launcher);
      return false;
    }
    reference.path = FullPathOf(command.launcher);
    return true;
  }
  const std::wstring installFolder = ProductPaths::RegistryInstallPath(product_layout::kProductFolder);
  if (!installFolder.empty() && FileSystem::IsFile(installFolder + kInstalledLauncher)) {
    reference.path = installFolder + kInstalledLauncher;
    reference.installed = true;
  }
  return true;
}

std::wstring ReferenceText(const Reference& reference) {
  if (reference.path.empty()) {
    return std::wstring(L"own-publisher rule: off (no --launcher, and no installed ") + kInstalledLauncher + L")";
  }
  const std::wstring source = reference.installed ? L"installed launcher " : L"launcher ";
  if (reference.signer.empty()) {
    return L"own-publisher rule: " + source + reference.path + L" has no readable signer (" +
           VerdictText(reference.verdict) + L"), so, like that launcher, every file is accepted";
  }
  return L"own-publisher rule: " + reference.signer + L", the publisher of " + source + reference.path + L" (" +
         VerdictText(reference.verdict) + L")";
}

void WriteText(const Reference& reference, const std::wstring& cacheFile, const std::vector<CheckedFile>& files,
               ConsoleWriter& out) {
  out.WriteLine(ReferenceText(reference));
  out.WriteLine(L"cache file: " + (cacheFile.empty() ? std::wstring(L"none (the product folder does not exist)")
                                                     : cacheFile));
  for (const CheckedFile& file : files) {
    const TrustDecision& decision = file.decision;
    out.WriteLine(L"");
    out.WriteLine(file.path);
    out.WriteLine(L"  verdict:   " + VerdictText(decision.verdict));
    out.WriteLine(L"  signer:    " + (decision.signer.empty() ? std::wstring(L"-") : decision.signer));
    out.WriteLine(std::wstring(L"  decision:  ") + (decision.trusted ? L"trusted" : L"refused"));
    out.WriteLine(L"  rule:      " + RuleText(decision));
    out.WriteLine(std::wstring(L"  cached:    ") + (decision.fromCache ? L"yes" : L"no"));
  }
}

void WriteJson(const Reference& reference, const std::wstring& cacheFile, const std::vector<CheckedFile>& files,
               bool allTrusted, ConsoleWriter& out) {
  JsonWriter json;
  json.BeginObject();
  json.BoolMember(L"ownPublisherRule", !reference.path.empty());
  json.Key(L"reference");
  if (reference.path.empty()) {
    json.Null();
  } else {
    json.BeginObject();
    json.StringMember(L"path", reference.path);
    json.StringMember(L"source", reference.installed ? L"installed" : L"--launcher");
    json.StringMember(L"verdict", VerdictText(reference.verdict));
    json.StringMember(L"signer", reference.signer);
    json.EndObject();
  }
  json.Key(L"cacheFile");
  if (cacheFile.empty()) json.Null(); else json.String(cacheFile);
  json.Key(L"files");
  json.BeginArray();
  for (const CheckedFile& file : files) {
    const TrustDecision& decision = file.decision;
    json.BeginObject();
    json.StringMember(L"path", file.path);
    json.StringMember(L"verdict", VerdictText(decision.verdict));
    json.StringMember(L"signer", decision.signer);
    json.StringMember(L"decision", decision.trusted ? L"trusted" : L"refused");
    json.StringMember(L"rule", RuleKey(decision.rule));
    json.Key(L"allowedRow");
    if (decision.rule == TrustRule::AllowedPublisher) json.Number(decision.allowedRow); else json.Null();
    json.BoolMember(L"fromCache", decision.fromCache);
    json.EndObject();
  }
  json.EndArray();
  json.BoolMember(L"allTrusted", allTrusted);
  json.EndObject();
  out.Write(json.Text());
}

}  // namespace

int RunCheck(const CommandLine& command, ConsoleWriter& out, ConsoleWriter& err) {
  std::vector<CheckedFile> files;
  bool missing = false;
  for (const std::wstring& path : command.files) {
    if (!FileSystem::IsFile(path)) {
      err.WriteLine(L"VaroSignCheck: no such file: " + path);
      missing = true;
      continue;
    }
    files.push_back({FullPathOf(path), {}});
  }
  Reference reference;
  if (!FindReference(command, err, reference) || missing) return exit_status::kUsage;

  // The service hands the launchers' cache file to the verifier on first use.
  SignerService& service = SignerService::Instance();
  SignerVerifier& verifier = SignerVerifier::Instance();
  // Never left at the default: that would make this program's own (missing)
  // signature the reference, and an unsigned reference accepts every file.
  if (reference.path.empty()) {
    verifier.ClearReferencePublisher();
  } else {
    verifier.SetReferencePublisherFile(reference.path);
    reference.verdict = verifier.CheckFile(reference.path, reference.signer);
  }

  bool allTrusted = true;
  const wchar_t* expected = command.expect.empty() ? nullptr : command.expect.c_str();
  for (CheckedFile& file : files) {
    file.decision = verifier.Decide(file.path.c_str(), expected);
    allTrusted = allTrusted && file.decision.trusted;
  }
  // Writes the verdicts back now rather than in the exit handlers.
  service.Release();

  const std::wstring cacheFile = ProductPaths::SignerCacheLocation();
  if (command.json) {
    WriteJson(reference, cacheFile, files, allTrusted, out);
  } else {
    WriteText(reference, cacheFile, files, out);
  }
  return allTrusted ? exit_status::kOk : exit_status::kFailed;
}

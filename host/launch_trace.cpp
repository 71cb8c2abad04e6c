#include "host/launch_trace.h"

#include <cwchar>

#include "locations/bounded_log.h"
#include "locations/file_system.h"
#include "locations/product_layout.h"
#include "locations/product_paths.h"
#include "platform/error_text.h"
#include "platform/module_file_name.h"
#include "signer/trust_result_text.h"

namespace {

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::wstring IsoTime(const SYSTEMTIME& utc) {
  wchar_t text[32] = {};
  std::swprintf(text, std::size(text), L"%04u-%02u-%02uT%02u:%02u:%02uZ", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
                utc.wMinute, utc.wSecond);
  return text;
}

const wchar_t* OutcomeOf(ModuleLoad::Outcome outcome) {
  switch (outcome) {
    case ModuleLoad::Outcome::Loaded: return L"loaded";
    case ModuleLoad::Outcome::NoApplicationFolder: return L"no application folder";
    case ModuleLoad::Outcome::Missing: return L"module missing";
    case ModuleLoad::Outcome::Refused: return L"refused";
    case ModuleLoad::Outcome::DependencyMissing: return L"dependency missing";
    case ModuleLoad::Outcome::LoadFailed: return L"load failed";
    case ModuleLoad::Outcome::NotTheCheckedFile: return L"refused";
    case ModuleLoad::Outcome::NoEntryFunction: return L"no entry function";
  }
  return L"refused";
}

std::string Utf8(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                          nullptr);
  }
  return bytes;
}

// The log's path, or empty when nothing is to be written.
std::wstring FindLog() {
  // Under the system account the product folder is another user's: nothing
  // is written there on that account's rights.
  if (ProductPaths::RunsAsSystemAccount()) return {};
  const std::wstring folder = ProductPaths::ProductDataDirectory();
  if (folder.empty() || !FileSystem::IsDirectory(folder)) return {};
  return folder + product_layout::kLaunchLogFile;
}

struct PreparedLog {
  bool prepared = false;
  std::wstring path;
};

PreparedLog& Prepared() {
  static PreparedLog log;
  return log;
}

// `mayLookUp`: the log may be found now if it was not prepared, which asks
// the shell and the security functions and may load their libraries.
void Emit(const LaunchTrace& trace, bool mayLookUp) {
  SYSTEMTIME utc{};
  ::GetSystemTime(&utc);
  const std::wstring line = TraceLine(trace, utc, ::GetCurrentProcessId(), platform::ModuleFileName(nullptr));
  ::OutputDebugStringW((line + L"\n").c_str());
  const PreparedLog& prepared = Prepared();
  if (!prepared.prepared && !mayLookUp) return;
  const std::wstring log = prepared.prepared ? prepared.path : FindLog();
  if (!log.empty()) bounded_log::Append(log, Utf8(line + L"\r\n"), kLaunchLogLimit);
}

}  // namespace

LaunchTrace TraceOf(const ModuleLoad& load) {
  LaunchTrace trace;
  trace.outcome = OutcomeOf(load.outcome);
  trace.file = load.file;
  trace.detail = load.reason;
  if (load.outcome == ModuleLoad::Outcome::Refused || load.outcome == ModuleLoad::Outcome::NotTheCheckedFile) {
    trace.decision = load.decision;
  }
  if (load.outcome == ModuleLoad::Outcome::NotTheCheckedFile) trace.detail = L"what was loaded is not the checked file";
  if (load.outcome == ModuleLoad::Outcome::LoadFailed) {
    trace.detail = L"error " + std::to_wstring(load.error) + L": " + platform::GetSystemErrorText(load.error);
  }
  return trace;
}

std::wstring TraceLine(const LaunchTrace& trace, const SYSTEMTIME& utc, DWORD processId, const std::wstring& launcher) {
  std::wstring line = IsoTime(utc) + L" pid " + std::to_wstring(processId) + L" launcher " + Quoted(launcher) +
                      L" outcome " + Quoted(trace.outcome);
  if (!trace.file.empty()) line += L" file " + Quoted(trace.file);
  if (trace.decision) {
    const TrustDecision& decision = *trace.decision;
    line += std::wstring(L" verdict ") + platform::SignatureVerdictName(decision.verdict);
    line += L" result ";
    if (decision.trustResult) {
      const wchar_t* name = TrustResultName(*decision.trustResult);
      line += TrustResultCode(*decision.trustResult) + (*name != L'\0' ? std::wstring(L" ") + name : L"");
    } else {
      line += decision.fromCache ? L"- (cached verdict)" : L"-";
    }
    line += std::wstring(L" rule ") + TrustRuleKey(decision.rule);
    if (!decision.signer.empty()) line += L" signer " + Quoted(decision.signer);
  }
  if (!trace.detail.empty()) line += L" detail " + Quoted(trace.detail);
  if (!trace.handover.empty()) line += L" hand-over " + Quoted(trace.handover);
  return line;
}

void PrepareLaunchTrace() {
  PreparedLog& prepared = Prepared();
  prepared.path = FindLog();
  prepared.prepared = true;
}

void WriteLaunchTrace(const LaunchTrace& trace) { Emit(trace, true); }

void WriteLoadGuardStop(const std::wstring& image) {
  Emit({L"stopped by the load guard", image, std::nullopt,
        L"it lies outside the system's folders and is no checked product file", L""},
       false);
}

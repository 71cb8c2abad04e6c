#include "host/launch_trace.h"

#include <cwchar>

#include "ini_and_log/bounded_log.h"
#include "locations/product_layout.h"
#include "locations/product_paths.h"
#include "platform/error_text.h"
#include "platform/file_system.h"
#include "platform/module_file_name.h"
#include "platform/path_text.h"
#include "signer/trust_result_text.h"

namespace {

// One line whatever the text holds: a name or path with a quote, a line
// break or any other control character could otherwise end its field or the
// line, and write what reads as another launch's trace.
std::wstring Quoted(const std::wstring& text) {
  std::wstring quoted = L"\"";
  for (wchar_t c : text) {
    switch (c) {
      case L'\\': quoted += L"\\\\"; break;
      case L'"': quoted += L"\\\""; break;
      case L'\r': quoted += L"\\r"; break;
      case L'\n': quoted += L"\\n"; break;
      case L'\t': quoted += L"\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F || c == 0x85 || c == 0x2028 || c == 0x2029) {
          wchar_t escape[8] = {};
          std::swprintf(escape, std::size(escape), L"\\u%04X", static_cast<unsigned>(c));
          quoted += escape;
        } else {
          quoted += c;
        }
    }
  }
  return quoted + L"\"";
}

// The escaped text from just after an opening quote at `at` up to its closing
// quote, read back; `at` is left after the closing quote. Nothing when the
// field does not end or an escape is not one Quoted writes.
std::optional<std::wstring> Unquoted(const std::wstring& line, size_t& at) {
  std::wstring text;
  while (at < line.size()) {
    const wchar_t c = line[at++];
    if (c == L'"') return text;
    if (c != L'\\') {
      text += c;
      continue;
    }
    if (at >= line.size()) return std::nullopt;
    const wchar_t escaped = line[at++];
    switch (escaped) {
      case L'\\':
      case L'"': text += escaped; break;
      case L'r': text += L'\r'; break;
      case L'n': text += L'\n'; break;
      case L't': text += L'\t'; break;
      case L'u': {
        if (line.size() - at < 4) return std::nullopt;
        const std::wstring digits = line.substr(at, 4);
        if (digits.find_first_not_of(L"0123456789ABCDEF") != std::wstring::npos) return std::nullopt;
        text += static_cast<wchar_t>(std::wcstoul(digits.c_str(), nullptr, 16));
        at += 4;
        break;
      }
      default: return std::nullopt;
    }
  }
  return std::nullopt;
}

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

// The log's path, or empty when nothing is to be written. The product folder
// need not exist yet.
std::wstring FindLog() {
  // Under the system account the product folder is another user's: nothing
  // is written there on that account's rights.
  if (ProductPaths::RunsAsSystemAccount()) return {};
  const std::wstring folder = ProductPaths::ProductDataDirectory();
  if (folder.empty()) return {};
  return folder + product_layout::kLaunchLogFile;
}

// A launcher started outside an installed product still leaves its line: the
// product's own folder is made for the log, under a roaming application-data
// folder that must exist already. Only a line to write makes it, so a launch
// that starts writes nothing still.
void Append(const std::wstring& log, const std::string& bytes) {
  const std::wstring folder = PathText::FolderPart(log);
  if (!FileSystem::IsDirectory(folder)) ::CreateDirectoryW(folder.c_str(), nullptr);
  bounded_log::Append(log, bytes, kLaunchLogLimit);
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
  if (!log.empty()) Append(log, Utf8(line + L"\r\n"));
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

std::vector<TraceField> ReadTraceLine(const std::wstring& line) {
  std::vector<TraceField> fields;
  const size_t space = line.find(L' ');
  if (space == std::wstring::npos) return {};
  fields.push_back({L"time", line.substr(0, space)});
  size_t at = space + 1;
  while (at < line.size()) {
    const size_t nameEnd = line.find(L' ', at);
    if (nameEnd == std::wstring::npos || nameEnd + 1 >= line.size()) return {};
    TraceField field{line.substr(at, nameEnd - at), L""};
    at = nameEnd + 1;
    if (line[at] == L'"') {
      ++at;
      std::optional<std::wstring> value = Unquoted(line, at);
      if (!value) return {};
      field.value = std::move(*value);
    } else {
      // Bare values are single words of the trace's own, but for the trust
      // result ("0x800B0109 CERT_E_UNTRUSTEDROOT", "- (cached verdict)"),
      // which the rule always follows.
      const size_t end = field.name == L"result" ? line.find(L" rule ", at) : line.find(L' ', at);
      field.value = line.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at);
      at = end == std::wstring::npos ? line.size() : end;
    }
    fields.push_back(std::move(field));
    if (at < line.size() && line[at] != L' ') return {};
    ++at;
  }
  return fields;
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

#include "signcheck/diagnose_report.h"

#include <algorithm>

#include "host/launch_trace.h"
#include "platform/enum_names.h"
#include "platform/path_text.h"
#include "signcheck/json_writer.h"
#include "signcheck/verdict_text.h"
#include "signer/trust_result_text.h"

namespace {

using Outcome = ModuleLoad::Outcome;
using Source = ProductPaths::ApplicationDirectoryChoice::Source;
using Where = DependencyFinding::Where;

// Headings start their values in one column, wider than the file fields'.
constexpr size_t kHeadingColumn = 20;

std::wstring Heading(const wchar_t* label, const std::wstring& value) {
  std::wstring line = label;
  line.resize(std::max(kHeadingColumn, line.size() + 1), L' ');
  return line + value + L"\r\n";
}

bool HandsOver(const LaunchReplay& replay) {
  return replay.handover.outcome == UpgradeHandover::Outcome::HandedOver;
}

std::wstring HandoverLine(const UpgradeHandover& handover) {
  const std::wstring pending = handover.version.empty() ? L"" : L"version " + handover.version + L" is pending";
  switch (handover.outcome) {
    case UpgradeHandover::Outcome::HandedOver: return pending + L" and would be handed over";
    case UpgradeHandover::Outcome::NoSideFile:
    case UpgradeHandover::Outcome::NoDataRoot: return UpgradeHandoverText(handover.outcome);
    default: break;
  }
  return (pending.empty() ? L"" : pending + L", but ") + std::wstring(L"would not be handed over: ") +
         UpgradeHandoverText(handover.outcome) + (handover.reason.empty() ? L"" : L": " + handover.reason);
}

std::wstring ConfigLine(const LaunchReplay& replay) {
  std::wstring line =
      replay.configuredVersion ? L"Version=" + *replay.configuredVersion : std::wstring(L"names no version");
  if (HandsOver(replay)) line += L" (" + replay.handover.version + L" once the pending version is handed over)";
  return line;
}

// Each folder source's words and its key in the JSON, in the enum's order.
constexpr platform::EnumNames<Source> kSourceNames[] = {
    {Source::None, L"none", L"none"},
    {Source::ConfiguredVersion, L"the version config.ini names", L"configuredVersion"},
    {Source::InstallPath, L"the install path recorded in the registry", L"installPath"},
    {Source::LauncherFolder, L"the launcher's own folder", L"launcherFolder"},
};

std::wstring FolderLine(const LaunchReplay& replay) {
  const ProductPaths::ApplicationDirectoryChoice& choice = replay.applicationDirectory;
  if (choice.source == Source::None) {
    return L"none (no folder of config.ini's version, no install path, no launcher folder)";
  }
  std::wstring line = choice.folder + L" (" + platform::NamesOf(kSourceNames, choice.source).text + L")";
  if (replay.configuredVersion && choice.source != Source::ConfiguredVersion) {
    line += L"; config.ini's version names no folder under Application";
  }
  return line;
}

// What each state of the cache file means for the replay, and its key in the
// JSON.
constexpr platform::EnumNames<CacheSnapshot::State> kCacheStateNames[] = {
    {CacheSnapshot::State::None, L"none (the product folder does not exist): every file checked afresh", L"none"},
    {CacheSnapshot::State::Copied, L"(read as a launch reads it; nothing is written to it)", L"read"},
    {CacheSnapshot::State::Absent, L"(absent: every file checked afresh)", L"absent"},
    {CacheSnapshot::State::Unreadable, L"(a link, or held by another process: a launch cannot read it either)",
     L"unreadable"},
    {CacheSnapshot::State::NotCopied, L"(could not be copied to be read: every file checked afresh)", L"notCopied"},
    {CacheSnapshot::State::Corrupt,
     L"(corrupt: a launch finds no verdicts in it, checks every file afresh and deletes it)", L"corrupt"},
};

std::wstring CacheLine(const DiagnoseReport& report) {
  if (report.fresh) return L"not read (--fresh: every file checked afresh, as with no cache file)";
  const wchar_t* meaning = platform::NamesOf(kCacheStateNames, report.cacheState).text;
  if (report.cacheState == CacheSnapshot::State::None) return meaning;
  return report.cacheFile + L" " + meaning;
}

std::wstring LauncherLine(const Reference& launcher) {
  if (launcher.path.empty()) {
    return L"none (no --launcher, and no " + launcher.installedName +
           L" in an install path recorded in the registry): replayed as a launcher outside any product folder, "
           L"with no run-time libraries beside it and no folder of its own to fall back on";
  }
  if (launcher.missing) return launcher.path + L" (no such file: it could not be started)";
  return launcher.path + (launcher.installed ? L" (the install path recorded in the registry)" : L" (--launcher)");
}

// Where a run-time library leaves the launch: only one that would be loaded
// counts, the others are left out without a word.
const wchar_t* RuntimeStateKey(const ModuleLoad& load) {
  switch (load.outcome) {
    case Outcome::Missing: return L"absent";
    case Outcome::Loaded: return L"wouldLoad";
    case Outcome::DependencyMissing: return L"dependencyMissing";
    default: break;
  }
  return L"refused";
}

std::wstring RuntimeRuleText(const TrustDecision& decision) {
  // Trusted by no rule of the policy's: only the run-time maker's signature
  // let it in.
  if (decision.trusted && decision.rule == TrustRule::Refused) return L"the run-time's maker";
  return RuleText(decision);
}

std::wstring RuntimeLine(const RuntimeLibraryReplay& library) {
  const ModuleLoad& load = library.load;
  const TrustDecision& decision = load.decision;
  const std::wstring judged = VerdictText(decision.verdict) +
                              (decision.signer.empty() ? L"" : L", signer " + decision.signer) + L", " +
                              RuntimeRuleText(decision);
  switch (load.outcome) {
    case Outcome::Missing: return L"absent";
    case Outcome::Loaded: return L"would be loaded (" + judged + L")";
    case Outcome::DependencyMissing: return L"left out: it needs " + load.file + L", which is nowhere";
    default: break;
  }
  if (load.file != library.path) return L"left out: it needs " + load.file + L", refused: " + load.reason;
  return L"refused: " + load.reason + L" (" + judged + L")";
}

std::wstring TrustResultField(const TrustDecision& decision) {
  if (!decision.trustResult) return decision.fromCache ? L"- (cached verdict)" : L"-";
  const std::wstring name = TrustResultName(*decision.trustResult);
  return TrustResultCode(*decision.trustResult) + (name.empty() ? L"" : L" " + name);
}

std::wstring DecisionText(const wchar_t* what, const CompanionDecision& file) {
  std::wstring text = L"\r\n" + std::wstring(what) + L" " + file.path + L"\r\n";
  if (!file.held) return text + Field(L"held:", L"no (it cannot be held open, so it is refused)");
  return text + DecisionFields(file.decision) + Field(L"result:", TrustResultField(file.decision));
}

// Where the loader would find a library the module brings along, in words and
// as the JSON's key; a library in the module's folder also has its verdict.
constexpr platform::EnumNames<Where> kWhereNames[] = {
    {Where::Missing, L"nowhere the loader looks", L"missing"},
    {Where::Loaded, L"loaded already", L"loaded"},
    {Where::SystemFolder, L"system folder", L"systemFolder"},
    {Where::ApiSet, L"API set, the system's to resolve", L"apiSet"},
    {Where::ProductFolder, L"module's folder", L"productFolder"},
};

std::wstring FindingLine(const DependencyFinding& finding) {
  std::wstring line = L"  " + finding.name;
  line.resize(std::max<size_t>(kHeadingColumn, line.size() + 1), L' ');
  line += platform::NamesOf(kWhereNames, finding.where).text;
  if (finding.where != Where::ProductFolder) return line + L"\r\n";
  const TrustDecision& decision = finding.decision;
  return line + (decision.trusted ? L", trusted (" : L", refused (") + VerdictText(decision.verdict) +
         (decision.signer.empty() ? L"" : L", signer " + decision.signer) + L", " + RuleText(decision) + L")\r\n";
}

const wchar_t* OutcomeKey(const DiagnoseReport& report) {
  if (WouldStart(report)) return L"wouldStart";
  if (report.launcher.missing) return L"launcherMissing";
  switch (report.replay.outcome.outcome) {
    case Outcome::NoApplicationFolder: return L"noApplicationFolder";
    case Outcome::Missing: return L"moduleMissing";
    case Outcome::DependencyMissing: return L"dependencyMissing";
    case Outcome::NoEntryFunction: return L"noEntryFunction";
    default: break;
  }
  return L"refused";
}

void JsonTrustResult(JsonWriter& json, const TrustDecision& decision) {
  json.Key(L"trustResult");
  if (!decision.trustResult) {
    json.Null();
    return;
  }
  json.BeginObject();
  json.StringMember(L"code", TrustResultCode(*decision.trustResult));
  NullableString(json, L"name", TrustResultName(*decision.trustResult));
  json.EndObject();
}

void JsonFileDecision(JsonWriter& json, const CompanionDecision& file) {
  json.BeginObject();
  json.StringMember(L"path", file.path);
  json.BoolMember(L"held", file.held);
  JsonDecision(json, file.decision);
  JsonTrustResult(json, file.decision);
  json.EndObject();
}

void JsonHandover(JsonWriter& json, const UpgradeHandover& handover) {
  json.Key(L"handover");
  json.BeginObject();
  json.StringMember(L"outcome", UpgradeHandoverKey(handover.outcome));
  json.StringMember(L"text", UpgradeHandoverText(handover.outcome));
  NullableString(json, L"version", handover.version);
  NullableString(json, L"reason", handover.reason);
  json.BoolMember(L"wouldHandOver", handover.outcome == UpgradeHandover::Outcome::HandedOver);
  json.EndObject();
}

void JsonRuntimeLibraries(JsonWriter& json, const std::vector<RuntimeLibraryReplay>& libraries) {
  json.Key(L"runtimeLibraries");
  json.BeginArray();
  for (const RuntimeLibraryReplay& library : libraries) {
    json.BeginObject();
    json.StringMember(L"path", library.path);
    json.StringMember(L"state", RuntimeStateKey(library.load));
    if (library.load.outcome != Outcome::Missing) {
      json.StringMember(L"verdict", VerdictText(library.load.decision.verdict));
      json.StringMember(L"signer", library.load.decision.signer);
      json.StringMember(L"rule", library.load.decision.trusted && library.load.decision.rule == TrustRule::Refused
                                     ? L"runtimeMaker"
                                     : TrustRuleKey(library.load.decision.rule));
      NullableString(json, L"reason", library.load.reason);
    }
    json.EndObject();
  }
  json.EndArray();
}

void JsonDependencies(JsonWriter& json, const std::vector<DependencyFinding>& findings) {
  json.Key(L"dependencies");
  json.BeginArray();
  for (const DependencyFinding& finding : findings) {
    json.BeginObject();
    json.StringMember(L"name", finding.name);
    json.StringMember(L"where", platform::NamesOf(kWhereNames, finding.where).key);
    if (finding.where == Where::ProductFolder) {
      json.StringMember(L"path", finding.path);
      JsonDecision(json, finding.decision);
    }
    json.EndObject();
  }
  json.EndArray();
}

}  // namespace

bool WouldStart(const DiagnoseReport& report) {
  return !report.launcher.missing && report.replay.outcome.outcome == Outcome::Loaded;
}

std::wstring OutcomeText(const DiagnoseReport& report) {
  if (WouldStart(report)) return L"would start";
  if (report.launcher.missing) return L"would not start: the launcher file is missing";
  const ModuleLoad& outcome = report.replay.outcome;
  switch (outcome.outcome) {
    case Outcome::NoApplicationFolder: return L"would not start: no application folder";
    case Outcome::Missing: return L"would not start: module missing: " + outcome.file;
    case Outcome::DependencyMissing:
      return L"would not start: dependency missing: " + outcome.file + L" is nowhere the loader looks";
    case Outcome::NoEntryFunction:
      return L"would not start: no entry function: " + outcome.file + L" exports no " + outcome.reason;
    default: break;
  }
  return L"would refuse " + outcome.file + L": " + outcome.reason;
}

std::wstring DiagnoseText(const DiagnoseReport& report) {
  const LaunchReplay& replay = report.replay;
  std::wstring text = Heading(L"launcher:", LauncherLine(report.launcher));
  text += ReferenceText(report.launcher) + L"\r\n";
  text += Heading(L"cache file:", CacheLine(report));
  text += Heading(L"product folder:", report.productFolder.empty()
                                          ? std::wstring(L"none (no roaming application-data folder)")
                                          : report.productFolder);
  text += Heading(L"module:", report.moduleName + L" (--product " + report.product + L")");
  text += L"\r\n";
  text += Heading(L"hand-over:", HandoverLine(replay.handover));
  text += Heading(L"config.ini:", ConfigLine(replay));
  text += Heading(L"application folder:", FolderLine(replay));
  if (replay.runtimeLibraries.empty()) {
    text += Heading(L"run-time libraries:", L"none looked for (no launcher folder)");
  } else {
    text += Heading(L"run-time libraries:", L"beside the launcher");
    for (const RuntimeLibraryReplay& library : replay.runtimeLibraries) {
      std::wstring line = L"  " + PathText::NamePart(library.path);
      line.resize(std::max(kHeadingColumn, line.size() + 1), L' ');
      text += line + RuntimeLine(library) + L"\r\n";
    }
  }
  if (replay.companions.empty()) text += Heading(L"companions:", L"none present");
  for (const CompanionDecision& companion : replay.companions) text += DecisionText(L"companion", companion);
  if (replay.module) text += DecisionText(L"module", *replay.module);
  if (!replay.outcome.dependencies.empty()) {
    text += L"\r\n" + Heading(L"imports:", std::to_wstring(replay.outcome.dependencies.size()) +
                                               L" libraries looked at, in the order met");
    for (const DependencyFinding& finding : replay.outcome.dependencies) text += FindingLine(finding);
  }
  text += L"\r\n" + Heading(L"outcome:", OutcomeText(report));
  if (!report.logProblem.empty()) {
    text += Heading(L"launcher.log:", L"a launch cannot write its line: " + report.logProblem);
  }
  if (report.logLines.empty()) {
    text += Heading(L"launcher.log:", !report.logFile.empty()                      ? report.logFile + L" (no lines)"
                                      : report.cacheFile.empty()
                                          ? L"none (no product folder: a launch that does not start makes it)"
                                          : L"none (no launch has left a trace)");
  } else {
    text += Heading(L"launcher.log:", report.logFile + L", the last " + std::to_wstring(report.logLines.size()) +
                                          (report.logLines.size() == 1 ? L" line" : L" lines"));
    for (const std::wstring& line : report.logLines) text += L"  " + line + L"\r\n";
  }
  return text;
}

std::wstring DiagnoseJson(const DiagnoseReport& report) {
  const LaunchReplay& replay = report.replay;
  JsonWriter json;
  json.BeginObject();
  json.StringMember(L"product", report.product);
  json.StringMember(L"module", report.moduleName);
  JsonReference(json, report.launcher);
  NullableString(json, L"productFolder", report.productFolder);
  NullableString(json, L"cacheFile", report.cacheFile);
  json.BoolMember(L"fresh", report.fresh);
  json.StringMember(L"cacheState", platform::NamesOf(kCacheStateNames, report.cacheState).key);
  JsonHandover(json, replay.handover);
  NullableString(json, L"configuredVersion", replay.configuredVersion.value_or(L""));
  json.Key(L"applicationFolder");
  json.BeginObject();
  NullableString(json, L"path", replay.applicationDirectory.folder);
  json.StringMember(L"source", platform::NamesOf(kSourceNames, replay.applicationDirectory.source).key);
  json.EndObject();
  JsonRuntimeLibraries(json, replay.runtimeLibraries);
  json.Key(L"companions");
  json.BeginArray();
  for (const CompanionDecision& companion : replay.companions) JsonFileDecision(json, companion);
  json.EndArray();
  json.Key(L"moduleDecision");
  if (replay.module) JsonFileDecision(json, *replay.module); else json.Null();
  JsonDependencies(json, replay.outcome.dependencies);
  json.Key(L"outcome");
  json.BeginObject();
  json.StringMember(L"result", OutcomeKey(report));
  json.BoolMember(L"wouldStart", WouldStart(report));
  NullableString(json, L"file", WouldStart(report) ? L"" : replay.outcome.file);
  NullableString(json, L"reason", replay.outcome.reason);
  json.StringMember(L"text", OutcomeText(report));
  json.EndObject();
  json.Key(L"launcherLog");
  json.BeginObject();
  NullableString(json, L"path", report.logFile);
  NullableString(json, L"problem", report.logProblem);
  json.Key(L"lines");
  json.BeginArray();
  for (const std::wstring& line : report.logLines) json.String(line);
  json.EndArray();
  // The same lines read back into their fields; null for a line that is not
  // a trace line.
  json.Key(L"entries");
  json.BeginArray();
  for (const std::wstring& line : report.logLines) {
    const std::vector<TraceField> fields = ReadTraceLine(line);
    if (fields.empty()) {
      json.Null();
      continue;
    }
    json.BeginObject();
    for (const TraceField& field : fields) json.StringMember(field.name, field.value);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
  json.EndObject();
  return json.Text();
}

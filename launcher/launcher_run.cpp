#include "launcher/launcher_run.h"

#include <cstring>
#include <string>

#include "host/app_module_host.h"
#include "host/launch_trace.h"
#include "launcher/os_version.h"
#include "locations/impersonation_table.h"
#include "platform/get_proc.h"
#include "platform/library_search.h"
#include "platform/load_guard.h"
#include "signer/product_texts.h"
#include "signer/signer_startup.h"
#include "signer/signer_verifier.h"
#include "signer/web_page_opener.h"

namespace {

// Created before wWinMain in this order, and destroyed after it in reverse:
// the impersonation bookkeeping first, then the signer start-up lock with the
// system library cache. Objects created later at first use are destroyed
// before them.
const bool processObjectsCreated = [] {
  ImpersonationTable::Instance();
  SignerStartupLock();
  return true;
}();

// "This version of the PDF reader is not compatible with your operating
// system; uninstall it and reinstall a compatible version. Click OK to go to
// the official site and download one."
constexpr wchar_t kUnsupportedOsText[] =
    L"检测到此版本PDF阅读器与您当前的操作系统不兼容，建议您卸载当前旧版本后重新安装兼容版本，点击确定立即前往官网下载适配版本。";
constexpr wchar_t kUnsupportedOsCaption[] = L"Varoview提示";

using AppEntry = int(WINAPI*)(HINSTANCE, HINSTANCE, LPWSTR, int);

// True when the launch may go on; otherwise the user has been told.
bool PassesOsGate() {
  if (IsSupportedOs(QueryEffectiveOsVersion())) return true;
  if (::MessageBoxW(nullptr, kUnsupportedOsText, kUnsupportedOsCaption, MB_OKCANCEL) == IDOK) {
    OpenWebPage(product_texts::kHomePageUrl);
  }
  return false;
}

}  // namespace

int RunLauncher(const LauncherConstants& constants, HINSTANCE instance, HINSTANCE previousInstance,
                LPWSTR commandLine, int showCommand) {
  (void)processObjectsCreated;
  // Before anything else: libraries loaded by name come from the system
  // folder only, so that nothing planted in the program's folder, the current
  // folder or a PATH folder is loaded on our behalf; product files enter by
  // the paths of the files that were checked, and the load guard stops the
  // process at any other image until the application's entry is called.
  // Then the program's own file is held, so that it can no longer be swapped
  // for another whose publisher would then pass for ours.
  platform::RestrictLibrarySearch();
  platform::LoadGuard& guard = platform::LoadGuard::Instance();
  guard.Arm(&WriteLoadGuardStop);
  PrepareLaunchTrace();
  SignerVerifier::Instance().PinModuleFile(instance);
  if (constants.osGate && !PassesOsGate()) {
    WriteLaunchTrace({L"os gate declined", L"", std::nullopt, L"", L""});
    return 0;
  }

  AppModuleHost host(constants.appModuleFileName, constants.entryExport);
  int result = 0;
  const HMODULE appModule = host.Load(instance);
  if (auto entry = platform::GetProc<AppEntry>(appModule, constants.entryExport)) {
    // From here on, what the application loads is its own business.
    guard.Disarm();
    // An upgrade that stayed pending leaves word of why, though the installed
    // version starts.
    if (PassedOverPendingVersion(host.LastHandover())) {
      WriteLaunchTrace({L"hand-over not done", L"", std::nullopt, L"", SkippedHandoverText(host.LastHandover())});
    }
    result = entry(instance, previousInstance, commandLine, showCommand);
  } else {
    LaunchTrace trace;
    if (appModule != nullptr) {
      const std::wstring exportName(constants.entryExport,
                                    constants.entryExport + std::strlen(constants.entryExport));
      trace = {L"no entry function", host.LastLoad().file, std::nullopt, exportName, L""};
    } else {
      trace = TraceOf(host.LastLoad());
    }
    // A pending version that stayed out may be why the module was not found.
    trace.handover = SkippedHandoverText(host.LastHandover());
    WriteLaunchTrace(trace);
  }
  host.Teardown();
  return result;
}

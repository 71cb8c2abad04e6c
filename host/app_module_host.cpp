#include "host/app_module_host.h"

#include <utility>

#include "host/upgrade_handover.h"
#include "locations/file_system.h"
#include "locations/path_text.h"
#include "locations/product_layout.h"
#include "locations/product_paths.h"
#include "platform/get_proc.h"
#include "signer/signer_service.h"

namespace {

constexpr wchar_t kRuntimeLibrary[] = L"vcruntime140.dll";
constexpr wchar_t kCppRuntimeLibrary[] = L"msvcp140.dll";
constexpr wchar_t kThumbnail64[] = L"VaroImageThumb64.dll";
constexpr wchar_t kThumbnail[] = L"VaroImageThumb.dll";
constexpr const wchar_t* kImageLibraries[] = {L"FreeImage.dll", L"FreeImagePlus.dll"};
// The preload buffer's size; a longer launcher folder skips the preload.
constexpr size_t kPreloadPathUnits = 520;

const wchar_t* ThumbnailModuleName() {
  using GetNativeSystemInfoFn = decltype(&::GetNativeSystemInfo);
  auto getNativeSystemInfo =
      platform::GetProc<GetNativeSystemInfoFn>(::GetModuleHandleW(L"Kernel32.dll"), "GetNativeSystemInfo");
  if (getNativeSystemInfo == nullptr) return kThumbnail;
  SYSTEM_INFO info{};
  getNativeSystemInfo(&info);
  const WORD architecture = info.wProcessorArchitecture;
  return architecture == PROCESSOR_ARCHITECTURE_AMD64 || architecture == PROCESSOR_ARCHITECTURE_IA64 ? kThumbnail64
                                                                                                      : kThumbnail;
}

void RegisterCallerModule(SignerService& service, HMODULE launcherInstance) {
  if (!service.HasCallerModule()) service.SetCallerModule(launcherInstance);
}

}  // namespace

AppModuleHost::AppModuleHost(std::wstring appModuleFileName)
    : appModuleFileName_(std::move(appModuleFileName)), lock_(std::make_unique<platform::CriticalSection>()) {}

HMODULE AppModuleHost::Load(HMODULE launcherInstance) {
  RunUpgradeHandover(appModuleFileName_);
  auto guard = lock_->Lock();
  if (appModule_) return appModule_.Get();

  PreloadRuntimeLibraries();
  const std::wstring applicationDirectory =
      ProductPaths::ApplicationDirectory(product_layout::kProductFolder, product_layout::kConfigFile,
                                    product_layout::kUpgradeSection, product_layout::kVersionKey);
  if (!VerifyCompanionLibraries(launcherInstance, applicationDirectory)) return nullptr;

  const std::wstring modulePath = PathText::Join(applicationDirectory, appModuleFileName_);
  SignerService& service = SignerService::Instance();
  RegisterCallerModule(service, launcherInstance);
  appModule_.Reset(service.LoadVerifiedLibrary(modulePath.c_str()));
  return appModule_.Get();
}

void AppModuleHost::PreloadRuntimeLibraries() {
  // Loaded from the launcher's own folder so that the application module
  // binds to the copies shipped with it rather than any others on the path;
  // but only genuine copies, since anyone can put a library of that name
  // beside a copy of the launcher, and its start-up code would run in a
  // signed process.
  const std::wstring folder = ProductPaths::LauncherDirectory();
  if (folder.empty()) return;
  const std::wstring runtimePath = folder + kRuntimeLibrary;
  const std::wstring cppRuntimePath = folder + kCppRuntimeLibrary;
  if (runtimePath.size() > kPreloadPathUnits || cppRuntimePath.size() > kPreloadPathUnits) return;
  SignerService& service = SignerService::Instance();
  runtimeModule_.Reset(service.LoadRuntimeLibrary(runtimePath));
  cppRuntimeModule_.Reset(service.LoadRuntimeLibrary(cppRuntimePath));
}

bool AppModuleHost::VerifyCompanionLibraries(HMODULE launcherInstance, const std::wstring& applicationDirectory) {
  SignerService& service = SignerService::Instance();
  RegisterCallerModule(service, launcherInstance);
  const wchar_t* companions[] = {ThumbnailModuleName(), kImageLibraries[0], kImageLibraries[1]};
  for (const wchar_t* name : companions) {
    const std::wstring path = PathText::Join(applicationDirectory, name);
    // An absent companion is no failure: the application copes without it.
    if (!FileSystem::IsFile(path)) continue;
    if (!service.VerifyModule(path.c_str())) {
      service.ShowFailureNotice(path.c_str());
      return false;
    }
  }
  return true;
}

void AppModuleHost::Teardown() {
  if (!lock_) return;
  {
    auto guard = lock_->Lock();
    if (appModule_) {
      appModule_.Reset();
      SignerService::Instance().Release();
      runtimeModule_.Reset();
      cppRuntimeModule_.Reset();
    } else {
      // Without an application module the run-time libraries stay loaded
      // until the process ends.
      runtimeModule_.Release();
      cppRuntimeModule_.Release();
    }
  }
  lock_.reset();
}

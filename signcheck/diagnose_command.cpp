#include "signcheck/diagnose_command.h"

#include <string>
#include <vector>

#include "host/launch_trace.h"
#include "ini_and_log/bounded_log.h"
#include "locations/product_layout.h"
#include "locations/product_paths.h"
#include "platform/error_text.h"
#include "platform/file_system.h"
#include "signcheck/cache_snapshot.h"
#include "signcheck/diagnose_report.h"
#include "signcheck/exit_status.h"
#include "signcheck/reference_launcher.h"
#include "signer/signer_verifier.h"

namespace {

// As many of the log's last lines as a person reads at a glance.
constexpr size_t kLogLines = 5;

std::wstring FromUtf8(const std::string& bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int units = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, nullptr, 0);
  std::wstring text(static_cast<size_t>(units > 0 ? units : 0), L'\0');
  if (units > 0) ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, text.data(), units);
  return text;
}

// Why a launch could not write its line to `log`, as far as can be told
// without writing anything; empty when nothing speaks against it.
std::wstring LogProblem(const std::wstring& productFolder, const std::wstring& log) {
  if (productFolder.empty()) return L"there is no roaming application-data folder to make the product folder in";
  if (!FileSystem::Exists(log)) return {};
  if (FileSystem::IsDirectory(log)) return L"a folder of that name is in the way";
  if (!FileSystem::OpenFileRefusingLinks(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                         0)) {
    return L"it cannot be opened for writing (a link, or no right to write): " + platform::GetLastErrorText();
  }
  return {};
}

}  // namespace

int RunDiagnose(const CommandLine& command, ConsoleWriter& out, ConsoleWriter& err) {
  DiagnoseReport report;
  const bool pdf = command.product == Product::PdfReader;
  report.product = pdf ? L"pdf" : L"pic";
  report.fresh = command.fresh;
  report.moduleName = pdf ? L"VaroPdfApp.dll" : L"VaroImageApp.dll";
  report.launcher = FindReference(command.launcher, pdf ? L"VaroPdfReader.exe" : L"VaroPicViewer.exe");
  if (report.launcher.missing) err.WriteLine(L"VaroSignCheck: no such launcher file: " + report.launcher.path);
  const std::wstring dataRoot = ProductPaths::DataRoot();
  if (!dataRoot.empty()) report.productFolder = ProductPaths::ProductDataDirectory(dataRoot);
  report.cacheFile = ProductPaths::SignerCacheLocation();
  {
    // The launchers' cache file is read through a copy, so that whatever the
    // replay would record goes nowhere that counts.
    const CacheSnapshot snapshot(command.fresh ? std::wstring() : report.cacheFile);
    report.cacheState = snapshot.GetState();
    SignerVerifier& verifier = SignerVerifier::Instance();
    if (const std::wstring copy = snapshot.CopyPath(); !copy.empty()) verifier.SetCacheFile(copy.c_str());
    UseReference(report.launcher);
    report.replay =
        ReplayLaunch(report.moduleName, pdf ? "PdfReaderMain" : "ImageViewerMain",
                     report.launcher.missing ? L"" : report.launcher.path, dataRoot);
    // Written back into the copy, which goes with the snapshot.
    verifier.Release();
  }

  report.logProblem = LogProblem(report.productFolder, report.productFolder + product_layout::kLaunchLogFile);
  if (!report.productFolder.empty() && FileSystem::IsFile(report.productFolder + product_layout::kLaunchLogFile)) {
    report.logFile = report.productFolder + product_layout::kLaunchLogFile;
    for (const std::string& line : bounded_log::LastLines(report.logFile, kLogLines, kLaunchLogLimit)) {
      report.logLines.push_back(FromUtf8(line));
    }
  }

  out.Write(command.json ? DiagnoseJson(report) : DiagnoseText(report));
  return WouldStart(report) ? exit_status::kOk : exit_status::kFailed;
}

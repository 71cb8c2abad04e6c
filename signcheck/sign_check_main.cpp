// VaroSignCheck.exe: a console program for the people who ship and support
// the product, built from the launchers' library so that it decides and
// caches exactly as they do.
#include <string>
#include <vector>

#include "signcheck/cache_commands.h"
#include "signcheck/check_command.h"
#include "signcheck/command_line.h"
#include "signcheck/console_writer.h"
#include "signcheck/diagnose_command.h"
#include "signcheck/exit_status.h"
#include "signcheck/help_text.h"
#include "locations/impersonation_table.h"
#include "signer/signer_startup.h"

namespace {

// As in the launchers: these outlive the verifier, which writes its cache
// back from the exit handlers.
const bool processObjectsCreated = [] {
  ImpersonationTable::Instance();
  SignerStartupLock();
  return true;
}();

int Run(const CommandLine& command, ConsoleWriter& out, ConsoleWriter& err) {
  switch (command.command) {
    case Command::Help: out.Write(kHelpText); return exit_status::kOk;
    case Command::Check: return RunCheck(command, out, err);
    case Command::Diagnose: return RunDiagnose(command, out, err);
    case Command::CacheShow: return RunCacheShow(command, out, err);
    case Command::CacheCheck: return RunCacheCheck(command, out, err);
    case Command::CacheForget: return RunCacheForget(command, out, err);
    case Command::CacheClear: return RunCacheClear(command, out, err);
  }
  return exit_status::kUsage;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  (void)processObjectsCreated;
  ConsoleWriter out(STD_OUTPUT_HANDLE);
  ConsoleWriter err(STD_ERROR_HANDLE);
  const std::vector<std::wstring> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  CommandLine command;
  std::wstring error;
  if (!ParseCommandLine(arguments, command, error)) {
    err.WriteLine(L"VaroSignCheck: " + error);
    err.WriteLine(L"Run \"VaroSignCheck --help\" for the commands.");
    return exit_status::kUsage;
  }
  return Run(command, out, err);
}

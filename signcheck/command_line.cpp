#include "signcheck/command_line.h"

#include <algorithm>
#include <optional>

#include "platform/ascii_fold.h"
#include "platform/path_text.h"

namespace {

bool IsHelp(const std::wstring& argument) {
  return argument == L"--help" || argument == L"-h" || argument == L"/?" || argument == L"-?";
}

bool LooksLikeOption(const std::wstring& argument) { return argument.size() > 1 && argument[0] == L'-'; }

// The arguments of one command, consumed front to back.
class Arguments {
 public:
  Arguments(const std::vector<std::wstring>& all, size_t first) : all_(all), next_(first) {}

  bool Empty() const { return next_ == all_.size(); }
  const std::wstring& Take() { return all_[next_++]; }

 private:
  const std::vector<std::wstring>& all_;
  size_t next_;
};

bool TakeValue(Arguments& rest, const std::wstring& option, std::wstring& value, std::wstring& error) {
  if (rest.Empty()) {
    error = option + L" needs a value";
    return false;
  }
  value = rest.Take();
  if (value.empty()) {
    error = option + L" needs a non-empty value";
    return false;
  }
  return true;
}

bool ParseCheck(Arguments rest, CommandLine& parsed, std::wstring& error) {
  bool optionsEnded = false;
  while (!rest.Empty()) {
    const std::wstring& argument = rest.Take();
    if (!optionsEnded && argument == L"--") {
      optionsEnded = true;
    } else if (!optionsEnded && argument == L"--json") {
      parsed.json = true;
    } else if (!optionsEnded && argument == L"--fresh") {
      parsed.fresh = true;
    } else if (!optionsEnded && argument == L"--cached") {
      parsed.cached = true;
    } else if (!optionsEnded && (argument == L"-r" || argument == L"--recursive")) {
      parsed.recursive = true;
    } else if (!optionsEnded && argument == L"--revocation") {
      parsed.revocation = true;
    } else if (!optionsEnded && argument == L"--all") {
      parsed.everySignature = true;
    } else if (!optionsEnded && argument == L"--launcher") {
      if (!TakeValue(rest, argument, parsed.launcher, error)) return false;
    } else if (!optionsEnded && argument == L"--expect") {
      if (!TakeValue(rest, argument, parsed.expect, error)) return false;
    } else if (!optionsEnded && LooksLikeOption(argument)) {
      error = L"unknown option for check: " + argument;
      return false;
    } else if (argument.empty()) {
      error = L"an empty file name";
      return false;
    } else {
      parsed.files.push_back(argument);
    }
  }
  if (parsed.files.empty()) {
    error = L"check needs at least one file";
    return false;
  }
  if (parsed.fresh && parsed.cached) {
    error = L"--fresh and --cached exclude each other";
    return false;
  }
  return true;
}

// The product whose launcher `launcher` is by its file name, if it is one of
// the two.
std::optional<Product> ProductOfLauncher(const std::wstring& launcher) {
  const std::wstring name = platform::FoldAscii(PathText::NamePart(launcher));
  if (name == L"varopicviewer.exe") return Product::PictureViewer;
  if (name == L"varopdfreader.exe") return Product::PdfReader;
  return std::nullopt;
}

bool ParseDiagnose(Arguments rest, CommandLine& parsed, std::wstring& error) {
  std::optional<Product> named;
  while (!rest.Empty()) {
    const std::wstring& argument = rest.Take();
    std::wstring product;
    if (argument == L"--json") {
      parsed.json = true;
    } else if (argument == L"--fresh") {
      parsed.fresh = true;
    } else if (argument == L"--launcher") {
      if (!TakeValue(rest, argument, parsed.launcher, error)) return false;
    } else if (argument == L"--product") {
      if (!TakeValue(rest, argument, product, error)) return false;
      if (product != L"pic" && product != L"pdf") {
        error = L"--product is pic or pdf, not " + product;
        return false;
      }
      named = product == L"pic" ? Product::PictureViewer : Product::PdfReader;
    } else {
      error = L"unexpected argument for diagnose: \"" + argument + L"\"";
      return false;
    }
  }
  // A launcher of either name says which product it starts: the replay of
  // the other one's would tell of a module the launch never looks for.
  const std::optional<Product> launcherProduct = ProductOfLauncher(parsed.launcher);
  if (named && launcherProduct && named != launcherProduct) {
    error = L"--product does not match the launcher " + PathText::NamePart(parsed.launcher);
    return false;
  }
  parsed.product = named.value_or(launcherProduct.value_or(Product::PictureViewer));
  return true;
}

// Collects at most `maxPlain` arguments that are not options; only --json is
// known, and only where `jsonAllowed`.
bool ParsePlainArguments(Arguments rest, const std::wstring& command, bool jsonAllowed, size_t maxPlain,
                         CommandLine& parsed, std::vector<std::wstring>& plain, std::wstring& error) {
  while (!rest.Empty()) {
    const std::wstring& argument = rest.Take();
    if (jsonAllowed && argument == L"--json") {
      parsed.json = true;
    } else if (LooksLikeOption(argument)) {
      error = L"unknown option for " + command + L": " + argument;
      return false;
    } else if (plain.size() == maxPlain || argument.empty()) {
      error = L"unexpected argument for " + command + L": \"" + argument + L"\"";
      return false;
    } else {
      plain.push_back(argument);
    }
  }
  return true;
}

bool ParseCache(Arguments rest, CommandLine& parsed, std::wstring& error) {
  if (rest.Empty()) {
    error = L"cache needs a subcommand: show, check, forget or clear";
    return false;
  }
  const std::wstring subcommand = rest.Take();
  std::vector<std::wstring> plain;
  if (subcommand == L"show" || subcommand == L"check") {
    parsed.command = subcommand == L"show" ? Command::CacheShow : Command::CacheCheck;
    if (!ParsePlainArguments(rest, L"cache " + subcommand, subcommand == L"show", 1, parsed, plain, error)) return false;
    if (!plain.empty()) parsed.cacheFile = plain.front();
    return true;
  }
  if (subcommand == L"forget") {
    parsed.command = Command::CacheForget;
    if (!ParsePlainArguments(rest, L"cache forget", false, 1, parsed, plain, error)) return false;
    if (plain.empty()) {
      error = L"cache forget needs the path of the file to forget";
      return false;
    }
    parsed.path = plain.front();
    return true;
  }
  if (subcommand == L"clear") {
    parsed.command = Command::CacheClear;
    return ParsePlainArguments(rest, L"cache clear", false, 0, parsed, plain, error);
  }
  error = L"unknown cache subcommand: " + subcommand;
  return false;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::wstring>& arguments, CommandLine& parsed, std::wstring& error) {
  parsed = CommandLine{};
  if (std::any_of(arguments.begin(), arguments.end(), IsHelp)) return true;
  if (arguments.empty()) {
    error = L"no command given";
    return false;
  }
  const std::wstring& command = arguments.front();
  if (command == L"help") return true;
  if (command == L"check") {
    parsed.command = Command::Check;
    return ParseCheck(Arguments(arguments, 1), parsed, error);
  }
  if (command == L"diagnose") {
    parsed.command = Command::Diagnose;
    return ParseDiagnose(Arguments(arguments, 1), parsed, error);
  }
  if (command == L"cache") return ParseCache(Arguments(arguments, 1), parsed, error);
  error = L"unknown command: " + command;
  return false;
}

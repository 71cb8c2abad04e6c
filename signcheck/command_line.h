// The console tool's command line: which command, and its options.
#pragma once

#include <string>
#include <vector>

enum class Command { Help, Check, Diagnose, CacheShow, CacheCheck, CacheForget, CacheClear };

// The product whose launch diagnose replays.
enum class Product { PictureViewer, PdfReader };

struct CommandLine {
  Command command = Command::Help;
  bool json = false;
  bool fresh = false;      // check and diagnose --fresh: the cache file is not read (nor written)
  bool cached = false;     // check --cached: the cache's answer alone, not checked again
  bool recursive = false;  // check -r: a folder stands for the modules of its subfolders too
  bool revocation = false; // check --revocation: the report's trust result includes revocation, checked online
  bool everySignature = false;  // check --all: every embedded signature, nested ones included
  std::wstring launcher;   // check and diagnose --launcher; empty: the installed launcher
  // diagnose --product; without it, the product of a launcher named
  // VaroPicViewer.exe or VaroPdfReader.exe, else the picture viewer
  Product product = Product::PictureViewer;
  std::wstring expect;     // check --expect; empty: any allowed publisher
  std::wstring cacheFile;  // cache show/check; empty: the launchers' cache file
  std::wstring path;       // cache forget
  std::vector<std::wstring> files;  // check: files and folders
};

// Parses the arguments after the program name. False with a one-line reason
// in `error` on a usage error; `parsed` is then unspecified. "--help" (or
// "-h", "/?") anywhere asks for the help text.
bool ParseCommandLine(const std::vector<std::wstring>& arguments, CommandLine& parsed, std::wstring& error);

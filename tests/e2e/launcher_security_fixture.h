// Launches set up the way an attacker would, watched through marker
// libraries: each copy of tests/e2e/marker_dll.cpp that runs its start-up
// code adds its own full path to "<its file name>.loaded" in the folder that
// VARO_TEST_MARKERS names, so a test sees whether a planted library ran and
// which copy of a name it was.
#pragma once

#include <string>
#include <vector>

#include "platform/path_text.h"
#include "tests/e2e/launcher_fixture.h"
#include "tests/support/temp_folder.h"

class LauncherSecurityTest : public LauncherTest {
 protected:
  void SetUp() override {
    LauncherTest::SetUp();
    SetEnvironment(L"VARO_TEST_MARKERS", markers_);
    FileSystem::CreateDirectoryTree(markers_);
  }

  // Whether a marker library planted as `name` ran its start-up code.
  bool MarkerLoaded(const std::wstring& name) const { return FileSystem::Exists(markers_ + name + L".loaded"); }

  // The folders from which a marker library planted as `name` ran, in the
  // order they ran: lower case, each with its final backslash, without an
  // extended-length prefix. Empty when no copy ran.
  std::vector<std::wstring> MarkerFolders(const std::wstring& name) const {
    std::vector<std::wstring> folders;
    const std::wstring lines = ReadWholeWideFile(markers_ + name + L".loaded");
    for (size_t start = 0, end = 0; (end = lines.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
      folders.push_back(Folded(PathText::FolderPart(lines.substr(start, end - start))));
    }
    return folders;
  }

  // `path` as MarkerFolders gives folders, for comparing with them.
  static std::wstring Folded(std::wstring path) {
    if (path.rfind(L"\\\\?\\", 0) == 0) path.erase(0, 4);
    return PathText::ToLower(path);
  }

  // Forgets every marker that ran, before the next launch.
  void ForgetMarkers() const {
    RemoveTree(markers_);
    FileSystem::CreateDirectoryTree(markers_);
  }

  // The application module of version 1.0 replaced by `module`.
  void ReplaceModule(const wchar_t* module) { Copy(Artifact(module), VersionFolder(L"1.0") + L"VaroImageApp.dll"); }

  const std::wstring markers_ = temp_.Path(L"markers\\");
};

// VaroPicViewer.exe: the picture viewer's launcher. No system version gate.
#include "launcher/launcher_run.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showCommand) {
  static constexpr LauncherConstants kConstants = {L"VaroImageApp.dll", "ImageViewerMain", false};
  return RunLauncher(kConstants, instance, previousInstance, commandLine, showCommand);
}

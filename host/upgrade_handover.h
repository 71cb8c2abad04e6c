// Moves a pending application version from "temp.ini" into "config.ini" at
// the start of a launch, unless another launcher of the family is running.
#pragma once

#include <string>

// Runs once per process; later calls do nothing. The side file is consumed
// whatever it holds; "config.ini" changes only after the side file is gone,
// and only to a printable ASCII plain folder name of a folder under the
// application root that holds the launcher's application module
// (`appModuleFileName`). A side file or "config.ini" that is a link is left
// alone, and what it leads to too: nothing is handed over. Under the system
// account all of it is done as the interactive user, or not at all. Never
// fails the launch.
void RunUpgradeHandover(const std::wstring& appModuleFileName);

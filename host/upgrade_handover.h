// Moves a pending application version from "temp.ini" into "config.ini" at
// the start of a launch, unless another launcher of the family is running.
#pragma once

// The side file is consumed whatever it holds; its version reaches
// "config.ini" only when it is a plain folder name and that folder exists
// under the application root. Never fails the launch.
void RunUpgradeHandover();

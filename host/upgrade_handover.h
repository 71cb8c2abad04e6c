// Moves a pending application version from "temp.ini" into "config.ini" at
// the start of a launch, unless another launcher of the family is running.
#pragma once

// The side file is consumed whatever it holds; "config.ini" changes only
// after the side file is gone, and only to a printable ASCII plain folder
// name of a folder that exists under the application root. Under the system
// account all of it is done as the interactive user, or not at all. Never
// fails the launch.
void RunUpgradeHandover();

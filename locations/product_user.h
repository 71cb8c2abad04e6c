// Work on the user's product folder done with the user's own rights.
#pragma once

#include <functional>

// Runs `work` on the calling thread as the user whose product folder it
// touches: directly, or, when the launcher runs as the system account, while
// impersonating the interactive user. That folder is the user's to write: the
// system account following a link the user planted there could delete or
// overwrite any file of the system. False, without running `work`, when no
// user can be impersonated.
bool RunAsProductUser(const std::function<void()>& work);

// Whether the calling thread impersonates, as another thread or process would
// see it: a thread token exists while it does.
#pragma once

// True when the thread has a token of its own. Otherwise false, and the test
// fails unless the system said the thread has no token (ERROR_NO_TOKEN).
bool ThreadImpersonates();

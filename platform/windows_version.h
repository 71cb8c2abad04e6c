// The system version as GetVersionExW reports it to this program.
#pragma once

namespace platform {

// Windows Vista (6.0) or later. False when the version cannot be read.
bool IsVistaOrLater();

}  // namespace platform

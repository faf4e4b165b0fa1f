// Whether the service may run with the token it was started with. Portable:
// the Windows shell (ratesvc_host_win.cpp) reads the token and asks here.
#pragma once

#include <string>

namespace ratesvc {

// TOKEN_ELEVATION_TYPE, and Unknown when the token could not be read.
enum class ETokenElevation { Unknown, Default, Full, Limited };

struct CTokenVerdict {
    bool bRun;
    std::string strWhy;  // for the log when refused
};

// The service runs as the user, unelevated. Refused: an administrator's
// UAC-elevated half of a split token (Full), which a process of the same
// user's unelevated half could steer through the program folder and the
// data folder, both writable unelevated; and a token that cannot be read.
// Default runs: no split token (UAC off, the built-in Administrator without
// Admin Approval Mode, a standard user), so no unelevated code of this user
// runs beside it with less than it has.
// Under Wine every process holds a Full token, so the check applies there
// only when `checkUnderWine` asks for it.
CTokenVerdict JudgeToken(ETokenElevation elevation, bool underWine, bool checkUnderWine);

}  // namespace ratesvc

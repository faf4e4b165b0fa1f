#include "ratelog/rate_log.h"

CLogState LogState;

// The log writer arrives with the log page; until then logging cannot be
// switched on.
void WriteRateLog(std::string, double) {}

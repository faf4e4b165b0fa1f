// Linked into a Windows test program: believes the loopback stand-ins
// before the first test runs.
#include "tests/support/loopback_stand_ins.h"

namespace {
const bool kBelieved = (BelieveLoopbackStandIns(), true);
}  // namespace

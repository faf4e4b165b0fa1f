// The Windows test programs talk to stand-in servers on loopback that are
// Linux processes (nginx, python, gSOAP); under Wine even a Windows
// process's sockets belong to wineserver. No owner can be seen, so the
// program's owner check would refuse them all: these programs believe
// every loopback port, as a user's setting would.
#pragma once

#include "transport/peer_owner.h"

inline void BelieveLoopbackStandIns() { transport::SetOwnerCheckWaivers({{"127.0.0.1", 0}, {"localhost", 0}}); }

// The "Service" section: where the two rate services are, and whether a
// loopback one must run as this user (CheckLocalServiceOwner, on unless 0).
// Read each time a query builds its clients, so a changed setting takes
// effect at once; reading it also applies the owner check's choice.
#pragma once

#include "rates/rate_query.h"

rates::ServiceSettings ReadServiceSettings();

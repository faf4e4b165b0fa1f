// The "Service" section: where the two rate services are. Read each time a
// query builds its clients, so a changed setting takes effect at once.
#pragma once

#include "rates/rate_query.h"

rates::ServiceSettings ReadServiceSettings();

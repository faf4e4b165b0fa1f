// The probe the monitor and the Excel import make before their first pair:
// US dollars in yen from the conversion-rate service, else from the
// exchange-rate service by country. The service that answered serves every
// later call of that run.
#pragma once

#include <memory>

#include "rates/currency_convertor.h"
#include "rates/currency_exchange_service.h"
#include "rates/rate_query.h"

namespace rates {

// Leaves at most one of the two set: the one that answered. When neither
// did, returns the message the user is shown (a local service of another
// user is named as such, not as a network failure); otherwise nullptr.
const char* ProbeServices(const ServiceSettings& settings, std::unique_ptr<CCurrencyConvertor>* convertor,
                          std::unique_ptr<CCurrencyExchangeService>* exchange);

// One pair from whichever service the probe left; false when neither is
// set or the call failed. The exchange service's float is widened.
bool AskProbedService(CCurrencyConvertor* convertor, CCurrencyExchangeService* exchange, int from, int to,
                      double* rate);

}  // namespace rates

// gSOAP description of the two rate services, for the round-trip tests:
// soapcpp2 turns it into an independent server implementation.

//gsoap cr service name: rates
//gsoap cr service namespace: http://zelvane.morvast.example/
//gsoap cr service style: document
//gsoap cr service encoding: literal
//gsoap cr schema namespace: http://zelvane.morvast.example/
//gsoap cr schema elementForm: qualified

//gsoap ex service namespace: urn:xmethods-CurrencyExchange
//gsoap ex service style: rpc
//gsoap ex service encoding: encoded
//gsoap ex schema namespace: urn:xmethods-CurrencyExchange
//gsoap ex schema elementForm: unqualified

//gsoap cr service method-action: ConversionRate http://zelvane.morvast.example/ConversionRate
int cr__ConversionRate(char* FromCurrency, char* ToCurrency, double* ConversionRateResult);

int ex__getRate(char* country1, char* country2, float* Result);

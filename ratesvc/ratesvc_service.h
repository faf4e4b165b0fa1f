// Service contracts of the local rate service, read by soapcpp2 to generate
// the server skeleton; never compiled directly.
//
// Two contracts in one process, as the program's two clients expect them:
//   cr   document/literal ConversionRate, served at /CurrencyConvertor.asmx
//   snp  rpc/encoded getRate in urn:xmethods-CurrencyExchange, served at /soap
// The cr namespace is the program's compiled default; the server can be told
// another one at start-up (it rewrites its namespace table before serving).

//gsoap cr service name: CurrencyConvertor
//gsoap cr service style: document
//gsoap cr service encoding: literal
//gsoap cr service namespace: http://zelvane.morvast.example/
//gsoap cr schema namespace: http://zelvane.morvast.example/
//gsoap cr schema elementForm: qualified
//gsoap cr service method-action: ConversionRate "http://zelvane.morvast.example/ConversionRate"

//gsoap snp service name: CurrencyExchange
//gsoap snp service style: rpc
//gsoap snp service encoding: encoded
//gsoap snp service namespace: urn:xmethods-CurrencyExchange
//gsoap snp schema namespace: urn:xmethods-CurrencyExchange
//gsoap snp service method-action: getRate ""

// Codes arrive as plain strings rather than an enumeration so that an unknown
// code gets a fault that names it, not a generic deserialisation error.
int cr__ConversionRate(std::string FromCurrency, std::string ToCurrency, double& ConversionRateResult);

int snp__getRate(std::string country1, std::string country2, float& Result);

// The ConversionRate contract as a gSOAP client sees it, read by soapcpp2 to
// generate the comparison client's stub; never compiled directly. The same
// document/literal call the program's own client makes: a ConversionRate
// wrapper in the service namespace holding FromCurrency and ToCurrency as
// Currency codes, answered with a double ConversionRateResult.

//gsoap cr service name: CurrencyConvertor
//gsoap cr service style: document
//gsoap cr service encoding: literal
//gsoap cr service namespace: http://zelvane.morvast.example/
//gsoap cr schema namespace: http://zelvane.morvast.example/
//gsoap cr schema elementForm: qualified
//gsoap cr service method-action: ConversionRate "http://zelvane.morvast.example/ConversionRate"

int cr__ConversionRate(std::string FromCurrency, std::string ToCurrency, double& ConversionRateResult);

#include "tests/soap/fixture_operations.h"

#include <cstddef>

#include "rates/currency_tables.h"
#include "rates/service_defaults.h"

namespace fixtures {

using namespace soap;

namespace {


#define PARAM(name, type, flags, block, field, en, st)                                    \
    {NameHash(u"" #name), #name, u"" #name, static_cast<int>(sizeof(#name) - 1), type, flags, \
     offsetof(block, field), nullptr, en, st, nullptr, 0}

const SoapParamInfo kConversionRateParams[] = {
    PARAM(FromCurrency, kTypeTable, 0xA801, ConversionRateBlock, FromCurrency, &rates::CurrencyEnum, nullptr),
    PARAM(ToCurrency, kTypeTable, 0xA801, ConversionRateBlock, ToCurrency, &rates::CurrencyEnum, nullptr),
    PARAM(ConversionRateResult, kTypeDouble, 0xA802, ConversionRateBlock, ConversionRateResult, nullptr, nullptr),
    {},
};

const SoapParamInfo kGetRateParams[] = {
    PARAM(country1, kTypeString, 0x5401, GetRateBlock, country1, nullptr, nullptr),
    PARAM(country2, kTypeString, 0x5401, GetRateBlock, country2, nullptr, nullptr),
    PARAM(Result, kTypeFloat, 0x5002, GetRateBlock, Result, nullptr, nullptr),
    {},
};

const SoapParamInfo kPointFields[] = {
    PARAM(x, kTypeInt, 0xA800, Point, x, nullptr, nullptr),
    PARAM(label, kTypeString, 0xA800, Point, label, nullptr, nullptr),
    {},
};
const SoapStructInfo kPointStruct = {kKindStruct, "Point", "urn:echo", kPointFields, sizeof(Point)};

const SoapParamInfo kEchoParams[] = {
    PARAM(text, kTypeString, 0xA801, EchoBlock, text, nullptr, nullptr),
    PARAM(echoed, kTypeString, 0xA802, EchoBlock, echoed, nullptr, nullptr),
    PARAM(words, kTypeString, 0xA80A, EchoBlock, words, nullptr, nullptr),
    PARAM(where, kTypeTable, 0xA802, EchoBlock, where, nullptr, &kPointStruct),
    PARAM(blob, kTypeBase64Binary, 0xAC02, EchoBlock, blob, nullptr, nullptr),
    {},
};

const SoapParamInfo kListParams[] = {
    PARAM(values, kTypeInt, 0x500A, ListBlock, values, nullptr, nullptr),
    {},
};

#undef PARAM

}  // namespace

const SoapOperationInfo kConversionRate = {
    NameHash(u"ConversionRateResponse"), "ConversionRate", 14, u"ConversionRateResponse", 22,
    kKindOperation, kConversionRateParams, sizeof(ConversionRateBlock), 0xA800,
    rates::kDefaultConversionRateNamespace, rates::kDefaultConversionRateNamespaceW, NameHash(rates::kDefaultConversionRateNamespaceW),
    static_cast<int>(sizeof(rates::kDefaultConversionRateNamespace) - 1),
};

const SoapOperationInfo kGetRate = {
    NameHash(u"getRate"), "getRate", 7, u"getRate", 7, kKindOperation, kGetRateParams,
    sizeof(GetRateBlock), 0x5000, "urn:xmethods-CurrencyExchange",
    u"urn:xmethods-CurrencyExchange", NameHash(u"urn:xmethods-CurrencyExchange"), 29,
};

const SoapOperationInfo kEcho = {
    NameHash(u"EchoResponse"), "Echo", 4, u"EchoResponse", 12, kKindOperation, kEchoParams,
    sizeof(EchoBlock), 0xA800, "urn:echo", u"urn:echo", NameHash(u"urn:echo"), 8,
};

const SoapOperationInfo kList = {
    NameHash(u"list"), "list", 4, u"list", 4, kKindOperation, kListParams,
    sizeof(ListBlock), 0x5000, "urn:list", u"urn:list", NameHash(u"urn:list"), 8,
};

}  // namespace fixtures

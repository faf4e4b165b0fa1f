#include "legacy_codes.h"

namespace ratesvc {

namespace {

// Each factor as the legal act or the central bank's notice fixed it.
constexpr CLegacyCode kLegacy[] = {
    // The euro's irrevocably fixed conversion rates, units per euro.
    {"CYP", "EUR", 0.585274},  // Council Regulation (EC) No 1135/2007, from 2008-01-01
    {"EEK", "EUR", 15.6466},   // Council Regulation (EU) No 671/2010, from 2011-01-01
    {"LVL", "EUR", 0.702804},  // Council Regulation (EU) No 870/2013, from 2014-01-01
    {"LTL", "EUR", 3.45280},   // Council Regulation (EU) No 851/2014, from 2015-01-01
    {"MTL", "EUR", 0.429300},  // Council Regulation (EC) No 1134/2007, from 2008-01-01
    {"SKK", "EUR", 30.1260},   // Council Regulation (EC) No 694/2008, from 2009-01-01
    {"SIT", "EUR", 239.640},   // Council Regulation (EC) No 1086/2006, from 2007-01-01
    {"HRK", "EUR", 7.53450},   // Council Regulation (EU) 2022/1208, from 2023-01-01
    // Redenominations: old units in one new unit.
    {"AFA", "AFN", 1000},     // Da Afghanistan Bank, new afghani from 2002-10-07
    {"GHC", "GHS", 10000},    // Bank of Ghana, Redenomination Act 2007 (Act 739), from 2007-07-01
    {"MGF", "MGA", 5},        // Banky Foiben'i Madagasikara: one ariary is five francs (franc withdrawn 2005)
    {"MZM", "MZN", 1000},     // Banco de Mocambique, Law 7/2005, from 2006-07-01
    {"ROL", "RON", 10000},    // Banca Nationala a Romaniei, Law 348/2004, from 2005-07-01
    {"SDD", "SDG", 100},      // Central Bank of Sudan, pound of 100 dinars from 2007-01-10
    {"SRG", "SRD", 1000},     // Centrale Bank van Suriname, Wet Geldstelsel 2003, from 2004-01-01
    {"TRL", "TRY", 1000000},  // Law 5083 of 2004, new lira from 2005-01-01
    {"MRO", "MRU", 10},       // Banque Centrale de Mauritanie, new ouguiya from 2018-01-01
    {"STD", "STN", 1000},     // Banco Central de S. Tome e Principe, Decree-Law 6/2017, from 2018-01-01
    {"ZMK", "ZMW", 1000},     // Bank of Zambia, Rebasing of the Currency Act 2012, from 2013-01-01
    {"YUM", "RSD", 1},        // National Bank of Serbia: the dinar carried on at par (CSD 2003, RSD 2006)
    // Three redenominations: 1 000 (VEB to VEF, Decree-Law of 2007, from
    // 2008-01-01), 100 000 (VEF to VES, Decree 3.548, from 2018-08-20) and
    // 1 000 000 (the digital bolivar, Decree 4.553, from 2021-10-01, keeping
    // the code VES): 1e14 old bolivares in one of today's.
    {"VEB", "VES", 1e14},
};

}  // namespace

const CLegacyCode* FindLegacyCode(std::string_view code) {
    for (const CLegacyCode& row : kLegacy)
        if (code == row.code) return &row;
    return nullptr;
}

const char* NoSuccessorReason(std::string_view code) {
    if (code == "ZWD")
        return "ZWD has no rate: the Zimbabwe dollar was abandoned in 2009 and no later currency took it over "
               "at a legal factor";
    return nullptr;
}

}  // namespace ratesvc

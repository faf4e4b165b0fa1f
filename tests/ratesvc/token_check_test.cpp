// Which tokens the rate service runs with.
#include "token_check.h"

#include <gtest/gtest.h>

namespace {

using ratesvc::ETokenElevation;

TEST(RatesvcToken, RunsOnlyUnelevatedOrWithoutASplitToken) {
    struct Case {
        ETokenElevation elevation;
        bool underWine, checkUnderWine, run;
    };
    const Case cases[] = {
        {ETokenElevation::Limited, false, false, true},   // an administrator's unelevated half
        {ETokenElevation::Default, false, false, true},   // a standard user, or UAC off: nothing runs with less
        {ETokenElevation::Full, false, false, false},     // an administrator's elevated half
        {ETokenElevation::Unknown, false, false, false},  // unreadable: not taken for unelevated
        {ETokenElevation::Full, true, false, true},       // Wine: every process is Full
        {ETokenElevation::Full, true, true, false},
        {ETokenElevation::Limited, true, true, true},
        {ETokenElevation::Full, false, true, false},      // asking to check cannot let a token through
    };
    for (const Case& c : cases) {
        const ratesvc::CTokenVerdict verdict = ratesvc::JudgeToken(c.elevation, c.underWine, c.checkUnderWine);
        EXPECT_EQ(verdict.bRun, c.run) << static_cast<int>(c.elevation) << " wine " << c.underWine << " check "
                                       << c.checkUnderWine;
        EXPECT_EQ(verdict.strWhy.empty(), c.run);
    }
}

}  // namespace

#include "token_check.h"

namespace ratesvc {

CTokenVerdict JudgeToken(ETokenElevation elevation, bool underWine, bool checkUnderWine) {
    if (underWine && !checkUnderWine) return {true, {}};
    switch (elevation) {
    case ETokenElevation::Default:
    case ETokenElevation::Limited:
        return {true, {}};
    case ETokenElevation::Full:
        return {false, "started with an administrator's elevated token; the service runs only as the user, "
                       "unelevated (it starts so at the next logon)"};
    case ETokenElevation::Unknown:
        break;
    }
    return {false, "its token's elevation cannot be read; the service runs only as the user, unelevated"};
}

}  // namespace ratesvc

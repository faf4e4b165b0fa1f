// MSXML's reader is a COM object: the Windows test program initialises COM
// for its thread as the application does.
#ifdef _WIN32
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

namespace {
class CComEnvironment final : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override { CoUninitialize(); }
};
const auto* const kCom = ::testing::AddGlobalTestEnvironment(new CComEnvironment);
}  // namespace
#endif

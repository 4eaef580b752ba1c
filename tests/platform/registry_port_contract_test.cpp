// The registry port's contract: keys opened by path without regard to case,
// values with their types and sizes, Win32's result codes, and the thread's
// last error left alone.
#include <cstring>

#include "tests/platform/port_contract.h"

namespace veldra::testing {
namespace {

constexpr char kKey[] = "SOFTWARE\\VeldraContract\\Devices";

class RegistryContract : public PortContract {
protected:
    bool BootWithValues() {
        HostSetup setup;
        setup.registry = {{kKey, "Count", "", 2}, {kKey, "0", "USBSTOR\\Disk&Ven_X\\1"}};
        return Boot(setup);
    }
    HKEY OpenKey(const char* path, LONG* result) {
        HKEY key = NULL_HKEY;
        *result = registry().RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, KEY_READ, &key);
        return key;
    }
};

TEST_P(RegistryContract, KeysOpenByPathWithoutRegardToCase) {
    if (!BootWithValues()) GTEST_SKIP() << GetParam().name << " cannot set this machine up";
    LONG result = -1;
    HKEY key = OpenKey("software\\veldracontract\\DEVICES", &result);
    ASSERT_EQ(result, static_cast<LONG>(ERROR_SUCCESS));
    EXPECT_EQ(registry().RegCloseKey(key), static_cast<LONG>(ERROR_SUCCESS));
    OpenKey("SOFTWARE\\VeldraContract\\Missing", &result);
    EXPECT_EQ(result, static_cast<LONG>(ERROR_FILE_NOT_FOUND));
}

TEST_P(RegistryContract, ValuesComeWithTheirTypesAndSizes) {
    if (!BootWithValues()) GTEST_SKIP() << GetParam().name << " cannot set this machine up";
    LONG result = -1;
    HKEY key = OpenKey(kKey, &result);
    ASSERT_EQ(result, static_cast<LONG>(ERROR_SUCCESS));
    Stale();

    DWORD type = 0, count = 0, size = sizeof count;
    EXPECT_EQ(
        registry().RegQueryValueExA(key, "count", &type, reinterpret_cast<BYTE*>(&count), &size),
        static_cast<LONG>(ERROR_SUCCESS));
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(size, 4u);

    const std::string text = "USBSTOR\\Disk&Ven_X\\1";
    DWORD needed = 0;
    EXPECT_EQ(registry().RegQueryValueExA(key, "0", &type, nullptr, &needed),
              static_cast<LONG>(ERROR_SUCCESS));
    EXPECT_EQ(needed, text.size() + 1);
    char small[4];
    size = sizeof small;
    EXPECT_EQ(registry().RegQueryValueExA(key, "0", nullptr, reinterpret_cast<BYTE*>(small), &size),
              static_cast<LONG>(ERROR_MORE_DATA));
    EXPECT_EQ(size, text.size() + 1);
    char buffer[64] = {};
    size = sizeof buffer;
    EXPECT_EQ(registry().RegQueryValueExA(key, "0", &type, reinterpret_cast<BYTE*>(buffer), &size),
              static_cast<LONG>(ERROR_SUCCESS));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(std::string(buffer), text);

    size = sizeof buffer;
    EXPECT_EQ(registry().RegQueryValueExA(key, "FriendlyName", nullptr,
                                          reinterpret_cast<BYTE*>(buffer), &size),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    // The registry reports through its results, not the last error.
    EXPECT_EQ(sys().GetLastError(), kStaleError);
    EXPECT_EQ(registry().RegCloseKey(key), static_cast<LONG>(ERROR_SUCCESS));
}

INSTANTIATE_PORT_CONTRACT(RegistryContract);

}  // namespace
}  // namespace veldra::testing

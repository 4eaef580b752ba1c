// The system port: the named mutex seen from several programs on one machine,
// the module path in a small buffer, the version query's size check, the heap.
#include <cstring>
#include <string>

#include "tests/platform/port_contract.h"

namespace veldra::testing {
namespace {

class SystemContract : public PortContract {
protected:
    void SetUp() override { BOOT_OR_SKIP(); }
};
INSTANTIATE_PORT_CONTRACT(SystemContract);

TEST_P(SystemContract, ANamedMutexIsSharedByProgramsAndFreedWithItsLastHandle) {
    const std::string name = host().UniqueName("VeldraContract");
    Stale();
    EXPECT_EQ(sys().OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str()), NULL_HANDLE);
    EXPECT_EQ(sys().GetLastError(), ERROR_FILE_NOT_FOUND);

    sys().SetLastError(ERROR_ALREADY_EXISTS);
    UniqueHandle created(sys(), sys().CreateMutexA(FALSE, name.c_str()));
    ASSERT_TRUE(created.valid());
    EXPECT_EQ(sys().GetLastError(), ERROR_SUCCESS) << "a new name clears the last error";

    std::unique_ptr<PortAdapter> second = host().Start();
    SystemPort& other = second->System();
    {
        UniqueHandle opened(other, other.OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str()));
        EXPECT_TRUE(opened.valid());
        other.SetLastError(ERROR_SUCCESS);
        UniqueHandle again(other, other.CreateMutexA(FALSE, name.c_str()));
        EXPECT_TRUE(again.valid());
        EXPECT_EQ(other.GetLastError(), ERROR_ALREADY_EXISTS);
    }
    // The creator ends without closing its handle: the system closes it.
    created.release();
    m_program.reset();
    EXPECT_EQ(other.OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str()), NULL_HANDLE);
    EXPECT_EQ(other.GetLastError(), ERROR_FILE_NOT_FOUND);
    other.SetLastError(ERROR_ALREADY_EXISTS);
    UniqueHandle reborn(other, other.CreateMutexA(FALSE, name.c_str()));
    EXPECT_TRUE(reborn.valid());
    EXPECT_EQ(other.GetLastError(), ERROR_SUCCESS);
    HANDLE raw = reborn.release();
    EXPECT_TRUE(other.CloseHandle(raw));
    EXPECT_FALSE(other.CloseHandle(raw));
    EXPECT_EQ(other.GetLastError(), ERROR_INVALID_HANDLE);
}

// The name lives while any program has a handle, not only its creator.
TEST_P(SystemContract, AMutexOutlivesItsCreatorWhileAnotherProgramHoldsIt) {
    const std::string name = host().UniqueName("VeldraContract");
    std::unique_ptr<PortAdapter> second = host().Start();
    std::unique_ptr<PortAdapter> third = host().Start();
    HANDLE created = sys().CreateMutexA(FALSE, name.c_str());
    ASSERT_NE(created, NULL_HANDLE);
    HANDLE opened = second->System().OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str());
    ASSERT_NE(opened, NULL_HANDLE);
    m_program.reset();
    UniqueHandle seen(third->System(),
                      third->System().OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str()));
    EXPECT_TRUE(seen.valid());
    third->System().SetLastError(ERROR_SUCCESS);
    UniqueHandle again(third->System(), third->System().CreateMutexA(FALSE, name.c_str()));
    EXPECT_EQ(third->System().GetLastError(), ERROR_ALREADY_EXISTS);
}

TEST_P(SystemContract, AModulePathTooLongForTheBufferIsCutAndTerminated) {
    char full[MAX_PATH];
    DWORD length = sys().GetModuleFileNameA(full, MAX_PATH);
    ASSERT_GT(length, 3u);
    ASSERT_LT(length, DWORD{MAX_PATH});
    EXPECT_EQ(std::strlen(full), length);

    char exact[MAX_PATH];
    EXPECT_EQ(sys().GetModuleFileNameA(exact, length + 1), length);
    EXPECT_STREQ(exact, full);

    for (DWORD size : {length, DWORD{3}}) {
        char cut[MAX_PATH];
        std::memset(cut, '#', sizeof cut);
        Stale();
        EXPECT_EQ(sys().GetModuleFileNameA(cut, size), size);
        EXPECT_EQ(sys().GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        EXPECT_EQ(std::string(cut), std::string(full, size - 1));
        EXPECT_EQ(cut[size], '#') << "nothing written past the buffer";
    }
}

TEST_P(SystemContract, TheVersionQueryInsistsOnItsStructureSize) {
    OSVERSIONINFOA info;
    info.dwOSVersionInfoSize = sizeof info;
    EXPECT_TRUE(sys().GetVersionExA(&info));
    EXPECT_GE(info.dwMajorVersion, 4u);
    for (DWORD size : {DWORD{0}, DWORD{sizeof info - 1}, DWORD{sizeof info + 1}, DWORD{1000}}) {
        OSVERSIONINFOA wrong;
        wrong.dwOSVersionInfoSize = size;
        Stale();
        EXPECT_FALSE(sys().GetVersionExA(&wrong)) << size;
        EXPECT_EQ(sys().GetLastError(), ERROR_INSUFFICIENT_BUFFER) << size;
    }
}

TEST_P(SystemContract, ZeroedHeapBlocksAreZeroEvenWhenTheMemoryIsReused) {
    constexpr std::size_t kSize = 4096;
    for (int round = 0; round < 3; ++round) {
        auto* block = static_cast<unsigned char*>(sys().HeapAlloc(HEAP_ZERO_MEMORY, kSize));
        ASSERT_NE(block, nullptr);
        std::size_t nonZero = 0;
        for (std::size_t i = 0; i < kSize; ++i) nonZero += block[i] != 0;
        EXPECT_EQ(nonZero, 0u) << "round " << round;
        std::memset(block, 0xAA, kSize);
        EXPECT_TRUE(sys().HeapFree(block));
    }
    EXPECT_TRUE(sys().HeapFree(nullptr));
}

}  // namespace
}  // namespace veldra::testing

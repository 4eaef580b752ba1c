// The fixture of the port contract suites: a machine set up as a test asks,
// one program started on it, and shorthands for files in the scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "platform/handle.h"
#include "tests/platform/port_adapter.h"

namespace veldra::testing {

class PortContract : public ::testing::TestWithParam<AdapterFactory> {
protected:
    // False when this adapter cannot set the machine up so.
    bool Boot(const HostSetup& setup = {}) {
        m_host = GetParam().make(setup);
        if (!m_host) return false;
        m_program = m_host->Start();
        return true;
    }

    SystemPort& sys() { return m_program->System(); }
    FilePort& files() { return m_program->Files(); }
    ProfilePort& profile() { return m_program->Profile(); }
    DevicePort& devices() { return m_program->Devices(); }
    RegistryPort& registry() { return m_program->Registry(); }
    TestHost& host() { return *m_host; }

    // The Windows path of name in the scratch folder.
    std::string At(const std::string& name) const { return m_host->Scratch() + "\\" + name; }

    UniqueFileHandle Open(const std::string& name, DWORD access, DWORD share = 0,
                          DWORD disposition = OPEN_EXISTING) {
        return UniqueFileHandle(sys(), files().CreateFileA(At(name).c_str(), access, share,
                                                           disposition, FILE_ATTRIBUTE_NORMAL));
    }

    // The whole file as read through the port; "<missing>" when it cannot be opened.
    std::string Contents(const std::string& name) { return ContentsOf(At(name)); }
    std::string ContentsOf(const std::string& path) {
        UniqueFileHandle file(sys(), files().CreateFileA(path.c_str(), GENERIC_READ,
                                                         FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
        if (!file) return "<missing>";
        std::string text;
        char chunk[256];
        DWORD got = 0;
        while (files().ReadFile(file.get(), chunk, sizeof chunk, &got) && got > 0) {
            text.append(chunk, got);
        }
        return text;
    }

    // What a search finds: each name once, with its attributes. Nothing found:
    // empty, and the search's error in *error.
    std::map<std::string, DWORD> Listing(const std::string& pattern, DWORD* error = nullptr) {
        std::map<std::string, DWORD> entries;
        WIN32_FIND_DATAA data;
        Stale();
        UniqueFindHandle search(sys(), files().FindFirstFileA(pattern.c_str(), &data));
        if (error) *error = search ? ERROR_SUCCESS : sys().GetLastError();
        if (!search) return entries;
        do {
            EXPECT_TRUE(entries.emplace(data.cFileName, data.dwFileAttributes).second)
                << data.cFileName << " found twice by " << pattern;
        } while (files().FindNextFileA(search.get(), &data));
        EXPECT_EQ(sys().GetLastError(), ERROR_NO_MORE_FILES) << pattern;
        return entries;
    }

    // Sets the last error to a value no port call sets, so that a stale error
    // cannot pass for the next call's own.
    void Stale() { sys().SetLastError(kStaleError); }
    static constexpr DWORD kStaleError = 0xBADu;

    std::unique_ptr<TestHost> m_host;
    std::unique_ptr<PortAdapter> m_program;
};

#define BOOT_OR_SKIP(...) \
    if (!Boot(__VA_ARGS__)) GTEST_SKIP() << GetParam().name << " cannot set this machine up"

#define INSTANTIATE_PORT_CONTRACT(Suite)                                               \
    INSTANTIATE_TEST_SUITE_P(Adapters, Suite, ::testing::ValuesIn(AdapterFactories()), \
                             [](const auto& info) { return info.param.name; })

}  // namespace veldra::testing

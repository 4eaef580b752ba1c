// A FAT medium in a temporary directory for the FatVolume tests: formatted
// by mkfs.fat (whole or in an MBR partition), filled and read by mtools,
// judged by fsck.fat, and the FatVolume over it.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "host/civil_time.h"
#include "host/shell.h"
#include "sim/devices/image_device.h"
#include "sim/fat/fat_volume.h"

namespace veldra::sim::testing {

namespace fs = std::filesystem;

using host::Shell;
using host::ToolPath;

inline std::string Pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
    return bytes;
}

inline std::string Digits(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c >= '0' && c <= '9') digits += c;
    }
    return digits;
}

inline SYSTEMTIME Clock() {
    return SYSTEMTIME{2024, 5, 5, 3, 17, 9, 41, 730};
}

inline FILETIME FileTimeOf(int y, int mo, int d, int h, int mi, int s, int ms) {
    return host::FileTimeFromMilliseconds(host::MillisecondsFromCivil(y, mo, d, h, mi, s, ms));
}

inline std::uint64_t Ticks(const FILETIME& t) {
    return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
}

struct MediumFormat {
    const char* name;
    std::string mkfs;
    int kib;
    bool inPartition;  // in an MBR partition from sector 2048
};

inline void PrintTo(const MediumFormat& format, std::ostream* out) {
    *out << format.name;
}

class FatVolumeTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"mkfs.fat", "fsck.fat", "mcopy", "mtype", "mdir", "mattrib"}) {
            if (ToolPath(tool).empty()) GTEST_SKIP() << tool << " is not installed";
        }
        std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(test.begin(), test.end(), '/', '-');
        m_dir =
            fs::temp_directory_path() / ("veldra-fat-" + std::to_string(::getpid()) + "-" + test);
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override {
        if (!m_dir.empty()) fs::remove_all(m_dir);
    }

    void MakeMedium(const MediumFormat& format) {
        m_volume.reset();
        m_device.reset();
        m_format = format;
        m_image = m_dir / "medium.img";
        fs::remove(m_image);
        std::string mkfs = ToolPath("mkfs.fat") + " " + format.mkfs + " -n VELDRA ";
        if (!format.inPartition) {
            ASSERT_EQ(Shell(mkfs + "-C '" + m_image.string() + "' " + std::to_string(format.kib)),
                      0);
        } else {
            std::ofstream(m_image).close();
            fs::resize_file(m_image, (1024 + format.kib) * 1024ull);
            ASSERT_EQ(Shell(mkfs + "--offset 2048 '" + m_image.string() + "' " +
                            std::to_string(format.kib)),
                      0);
            // The partition table: one FAT16 partition (type 0x06) at sector 2048.
            std::uint8_t entry[16] = {0x00, 0, 0, 0, 0x06};
            std::uint32_t start = 2048, sectors = format.kib * 2;
            for (int i = 0; i < 4; ++i) {
                entry[8 + i] = static_cast<std::uint8_t>(start >> (8 * i));
                entry[12 + i] = static_cast<std::uint8_t>(sectors >> (8 * i));
            }
            Patch(446, std::string(reinterpret_cast<char*>(entry), 16));
            Patch(510, "\x55\xAA");
        }
        m_device = std::make_unique<ImageDevice>(m_image, 512, false);
        m_volume = std::make_unique<FatVolume>(*m_device, Clock);
    }
    void Patch(std::uint64_t offset, const std::string& bytes) {
        std::fstream file(m_image, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>(offset));
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::string Read(std::uint64_t offset, std::size_t size) {
        std::ifstream file(m_image, std::ios::binary);
        file.seekg(static_cast<std::streamoff>(offset));
        std::string bytes(size, '\0');
        file.read(bytes.data(), static_cast<std::streamsize>(size));
        return bytes;
    }

    // An mtools command on the medium, e.g. Mtools("mdir -a", "::").
    std::string Mtools(const std::string& command, const std::string& args) {
        std::string image = m_image.string() + (m_format.inPartition ? "@@1M" : "");
        std::string output;
        Shell("MTOOLS_SKIP_CHECK=1 " + command + " -i '" + image + "' " + args, &output);
        return output;
    }
    void HostFile(const std::string& name, const std::string& bytes) {
        std::ofstream(m_dir / name, std::ios::binary) << bytes;
    }
    std::string Put(const std::string& hostName, const std::string& target) {
        return Mtools("mcopy", "'" + (m_dir / hostName).string() + "' '" + target + "'");
    }
    // fsck.fat's verdict, with what it said when it found fault.
    ::testing::AssertionResult FsckClean() {
        fs::path checked = m_image;
        if (m_format.inPartition) {
            checked = m_dir / "partition.img";
            std::ofstream(checked, std::ios::binary)
                << Read(1024 * 1024, static_cast<std::size_t>(m_format.kib) * 1024);
        }
        std::string output;
        if (Shell(ToolPath("fsck.fat") + " -n '" + checked.string() + "'", &output) == 0) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << output;
    }

    std::string ReadAll(const VolumePath& path) {
        DWORD error = ERROR_SUCCESS;
        auto file = m_volume->Open(path, VolumeOpen{}, &error);
        EXPECT_EQ(error, ERROR_SUCCESS);
        if (!file) return "";
        std::uint64_t size = 0;
        EXPECT_EQ(file->Size(&size), ERROR_SUCCESS);
        std::string bytes(size + 10, '\0');
        DWORD read = 0;
        EXPECT_EQ(file->Read(0, bytes.data(), static_cast<DWORD>(bytes.size()), &read),
                  ERROR_SUCCESS);
        bytes.resize(read);
        return bytes;
    }
    // Creates (or truncates) a file and writes the pieces at their offsets.
    void WriteFile(const VolumePath& path,
                   const std::vector<std::pair<std::uint64_t, std::string>>& pieces,
                   bool exists = false, DWORD attributes = 0) {
        DWORD error = ERROR_SUCCESS;
        auto file = m_volume->Open(path, VolumeOpen{true, !exists, exists, attributes}, &error);
        ASSERT_TRUE(file) << error;
        for (const auto& [offset, bytes] : pieces) {
            DWORD written = 0;
            ASSERT_EQ(file->Write(offset, bytes.data(), static_cast<DWORD>(bytes.size()), &written),
                      ERROR_SUCCESS);
            ASSERT_EQ(written, bytes.size());
        }
        ASSERT_EQ(file->Close(), ERROR_SUCCESS);
    }
    std::vector<std::string> List(const VolumePath& directory) {
        std::vector<std::string> names;
        EXPECT_EQ(m_volume->List(directory, &names), ERROR_SUCCESS);
        return names;
    }
    VolumeEntryInfo Info(const VolumePath& path) {
        VolumeEntryInfo info;
        EXPECT_EQ(m_volume->Info(path, &info), ERROR_SUCCESS);
        return info;
    }
    std::uint64_t MtoolsFreeBytes() {
        std::string listing = Mtools("mdir", "::");
        std::size_t end = listing.find("bytes free");
        std::size_t start = listing.rfind('\n', end);
        return std::stoull(Digits(listing.substr(start + 1, end - start - 1)));
    }

    fs::path m_dir;
    fs::path m_image;
    MediumFormat m_format;
    std::unique_ptr<ImageDevice> m_device;
    std::unique_ptr<FatVolume> m_volume;
};

}  // namespace veldra::sim::testing

// The texts the program holds: every string-table entry and every fixed text
// must read, in code page 932, as what the operator is meant to see.
#include <gtest/gtest.h>

#include "platform/win32_types.h"
#include "res/fixed_text.h"
#include "res/resource.h"
#include "sim/kernel/cp932.h"

namespace veldra {
namespace {

struct TableEntry {
    UINT id;
    const char* text;
};

const TableEntry kTable[] = {
#define VELDRA_STRING(name, text) {name, text},
#include "res/string_table.inc"
#undef VELDRA_STRING
};

TEST(StringTable, EveryEntryHasACodePage932FormAndAnIdOfItsOwn) {
    for (const TableEntry& entry : kTable) {
        EXPECT_TRUE(sim::Utf8ToCp932(entry.text).has_value()) << entry.id;
        int same = 0;
        for (const TableEntry& other : kTable) same += other.id == entry.id;
        EXPECT_EQ(same, 1) << "id " << entry.id << " appears " << same << " times";
    }
}

TEST(FixedText, TheBytesReadAsTheIntendedJapanese) {
    EXPECT_EQ(sim::Cp932ToUtf8(kLogDateFormat), "  日時：%4d/%02d/%02d %02d:%02d:%02d");
    EXPECT_EQ(sim::Cp932ToUtf8(kDefaultDriveName), "ディスクドライブ");
    EXPECT_EQ(sim::Cp932ToUtf8(kMediaWriteError), "メディア書き込み中エラーが発生しました。");
    EXPECT_EQ(sim::Cp932ToUtf8(kGetLayoutError),
              "IOCTL_DISK_GET_DRIVE_LAYOUT error\nUSBデバイスへの書き込みができません");
    EXPECT_EQ(sim::Cp932ToUtf8(kSetLayoutError),
              "IOCTL_DISK_SET_DRIVE_LAYOUT error\nUSBデバイスへの書き込みができません");
}

}  // namespace
}  // namespace veldra

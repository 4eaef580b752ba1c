// The classification rules over tables of what the system answers: which
// letters are floppy drives, which are disks, which stay unclassified or are
// dropped, and which names and numbers they get.
#include "disk/drive_classification.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "res/fixed_text.h"

namespace veldra {
namespace {

struct Letter {
    UINT type = DRIVE_NO_ROOT_DIR;
    bool volumeOpens = true;
    std::optional<DWORD> deviceNumber;  // nullopt: the request fails
    std::optional<MEDIA_TYPE> media;    // nullopt: no medium (geometry fails)
};

struct Physical {
    bool opens = true;
    MEDIA_TYPE media = RemovableMedia;
};

class TableProbes final : public DriveProbes {
public:
    std::map<char, Letter> letters;
    std::map<DWORD, Physical> physical;  // absent: the open fails
    std::map<EnumKey, std::int32_t> counts;
    std::vector<std::string> asked;  // probes in order, for what a letter costs

    UINT DriveType(char letter) override {
        auto it = letters.find(letter);
        return it == letters.end() ? DRIVE_NO_ROOT_DIR : it->second.type;
    }
    DeviceNumberAnswer DeviceNumber(char letter) override {
        asked.push_back(std::string("number ") + letter);
        const Letter& l = letters.at(letter);
        DeviceNumberAnswer a;
        a.volumeOpened = l.volumeOpens;
        a.answered = l.volumeOpens && l.deviceNumber.has_value();
        a.deviceNumber = l.deviceNumber.value_or(0);
        a.partitionNumber = 1;
        return a;
    }
    GeometryAnswer VolumeGeometry(char letter) override {
        asked.push_back(std::string("volume ") + letter);
        const Letter& l = letters.at(letter);
        return GeometryAnswer{l.volumeOpens, l.media.has_value(), l.media.value_or(Unknown)};
    }
    GeometryAnswer PhysicalGeometry(DWORD number) override {
        asked.push_back("physical " + std::to_string(number));
        auto it = physical.find(number);
        if (it == physical.end() || !it->second.opens) return GeometryAnswer{};
        return GeometryAnswer{true, true, it->second.media};
    }
    DeviceNameAnswer DeviceName(EnumKey key, std::int32_t index) override {
        static const char* kKeys[] = {"Disk", "Sfloppy", "Flpydisk"};
        std::int32_t count = counts[key];
        std::string name = index >= 0 && index < count ? std::string(kKeys[static_cast<int>(key)]) +
                                                             "#" + std::to_string(index)
                                                       : std::string(kDefaultDriveName);
        return DeviceNameAnswer{name, count};
    }
};

struct Expected {
    char letter;
    std::int32_t driveType;
    std::int32_t deviceClass;
    int deviceNumber;  // 255: none
    std::string name;  // empty: the default name; "-": no name at all
};

struct Case {
    const char* what;
    std::map<char, Letter> letters;
    std::map<DWORD, Physical> physical;
    std::map<EnumKey, std::int32_t> counts;
    std::vector<Expected> expected;
    std::int32_t legacyFloppies;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.what;
}

class Classification : public ::testing::TestWithParam<Case> {};

TEST_P(Classification, GivesEachLetterItsClassNumberAndName) {
    const Case& c = GetParam();
    TableProbes probes;
    probes.letters = c.letters;
    probes.physical = c.physical;
    probes.counts = c.counts;
    LetterTable table;
    ClassifyDriveLetters(probes, table);
    EXPECT_EQ(table.LegacyFloppyCount, c.legacyFloppies);
    for (const Expected& e : c.expected) {
        const LetterEntry& entry = table.Entries[static_cast<std::size_t>(e.letter - 'A')];
        SCOPED_TRACE(std::string(1, e.letter) + ":");
        EXPECT_EQ(entry.DriveType, e.driveType);
        EXPECT_EQ(entry.DeviceClass, e.deviceClass);
        EXPECT_EQ(entry.DeviceNumber, e.deviceNumber);
        std::string name = e.name == "-" ? std::string() : e.name;
        EXPECT_EQ(entry.Name, e.name.empty() ? std::string(kDefaultDriveName) : name);
    }
}

constexpr UINT R = DRIVE_REMOVABLE;
constexpr UINT F = DRIVE_FIXED;
constexpr std::int32_t kDropped = 0;

const Case kCases[] = {
    {"OneLegacyFloppyAndAPhantomB",
     {{'A', {R, true, std::nullopt, F3_1Pt44_512}}, {'B', {R, true, std::nullopt, std::nullopt}}},
     {},
     {{EnumKey::Flpydisk, 1}},
     {{'A', 2, DEVCLASS_FLOPPY, 255, "Flpydisk#0"}, {'B', kDropped, DEVCLASS_NONE, 255, ""}},
     1},
    {"UsbStickWithoutFloppies",
     {{'C', {F, true, 0, FixedMedia}}, {'E', {R, true, 1, RemovableMedia}}},
     {},
     {{EnumKey::Disk, 2}},
     {{'C', 3, DEVCLASS_DISK, 0, "Disk#0"}, {'E', 2, DEVCLASS_DISK, 1, "Disk#1"}},
     0},
    {"UsbFloppyCountedAfterTheLegacyOne",
     {{'A', {R, true, std::nullopt, F3_1Pt44_512}}, {'F', {R, true, 1, F5_160_512}}},
     {{1, {true, RemovableMedia}}},
     {{EnumKey::Flpydisk, 1}, {EnumKey::Sfloppy, 1}},
     {{'A', 2, DEVCLASS_FLOPPY, 255, "Flpydisk#0"}, {'F', 2, DEVCLASS_FLOPPY, 1, "Sfloppy#0"}},
     1},
    {"EmptyUsbFloppyWhosePhysicalNumberIsAFixedDisk",
     {{'A', {R, true, std::nullopt, F3_1Pt44_512}}, {'F', {R, true, 1, Unknown}}},
     {{1, {true, FixedMedia}}},
     {{EnumKey::Flpydisk, 1}, {EnumKey::Sfloppy, 1}},
     {{'F', 2, DEVCLASS_FLOPPY, 1, "Sfloppy#0"}},
     1},
    {"EmptyUsbFloppyWithoutPhysicalDrive",
     {{'A', {R, true, std::nullopt, F3_1Pt44_512}}, {'F', {R, true, 1, std::nullopt}}},
     {},
     {{EnumKey::Flpydisk, 1}, {EnumKey::Sfloppy, 1}},
     {{'F', 2, DEVCLASS_FLOPPY, 1, "Sfloppy#0"}},
     1},
    {"EmptyRemovableInTheFloppyRangeStaysUnclassified",
     {{'D', {R, true, 0, std::nullopt}}},
     {{0, {true, RemovableMedia}}},
     {{EnumKey::Sfloppy, 1}},
     {{'D', 2, DEVCLASS_NONE, 0, ""}},
     0},
    {"EmptyRemovableOnAFloppysNumberIsADisk",
     {{'A', {R, true, 0, F3_1Pt44_512}}, {'D', {R, true, 0, std::nullopt}}},
     {{0, {true, RemovableMedia}}},
     {{EnumKey::Sfloppy, 1}, {EnumKey::Disk, 1}},
     {{'A', 2, DEVCLASS_FLOPPY, 0, "Sfloppy#0"}, {'D', 2, DEVCLASS_DISK, 0, "Disk#0"}},
     0},
    {"EmptyRemovableOnTheLegacyFloppysNumberIsADisk",
     {{'A', {R, true, std::nullopt, F3_1Pt44_512}}, {'D', {R, true, 0, std::nullopt}}},
     {{0, {true, RemovableMedia}}},
     {{EnumKey::Flpydisk, 1}, {EnumKey::Sfloppy, 1}, {EnumKey::Disk, 1}},
     {{'A', 2, DEVCLASS_FLOPPY, 255, "Flpydisk#0"}, {'D', 2, DEVCLASS_DISK, 0, "Disk#0"}},
     1},
    // Inside the floppy numbers, a volume with a disk's medium is a disk.
    {"VolumeInTheFloppyRangeWithFixedMediaIsADisk",
     {{'E', {R, true, 0, FixedMedia}}},
     {},
     {{EnumKey::Sfloppy, 1}, {EnumKey::Disk, 1}},
     {{'E', 2, DEVCLASS_DISK, 0, "Disk#0"}},
     0},
    {"EmptyRemovableAtCIsAFloppy",
     {{'C', {R, true, 0, std::nullopt}}},
     {{0, {true, RemovableMedia}}},
     {{EnumKey::Sfloppy, 1}},
     {{'C', 2, DEVCLASS_FLOPPY, 0, "Sfloppy#0"}},
     0},
    // The first number past the floppies' is a disk's, medium or not.
    {"EmptyRemovableJustPastTheFloppyNumbersIsADisk",
     {{'E', {R, true, 1, std::nullopt}}},
     {{1, {true, RemovableMedia}}},
     {{EnumKey::Sfloppy, 1}, {EnumKey::Disk, 2}},
     {{'E', 2, DEVCLASS_DISK, 1, "Disk#1"}},
     0},
    // The letter's place, not the floppies matched so far, is held against
    // the driver's count: a lone legacy floppy at B: is taken for a phantom.
    {"LegacyFloppyAtBWithoutA",
     {{'B', {R, true, std::nullopt, F3_1Pt44_512}}},
     {},
     {{EnumKey::Flpydisk, 1}},
     {{'B', kDropped, DEVCLASS_NONE, 255, "Flpydisk#0"}},
     0},
    {"VolumeThatCannotBeOpenedKeepsTypeAndDefaultName",
     {{'C', {F, false, 0, FixedMedia}}, {'E', {R, false, 1, RemovableMedia}}},
     {},
     {},
     {{'C', 3, DEVCLASS_DISK, 255, ""}, {'E', 2, DEVCLASS_NONE, 255, ""}},
     0},
    {"NumberTooLargeForTheRecordIsNoNumber",
     {{'E', {R, true, 256, RemovableMedia}}, {'F', {R, true, 255, RemovableMedia}}},
     {},
     {{EnumKey::Disk, 300}},
     {{'E', 2, DEVCLASS_NONE, 255, ""}, {'F', 2, DEVCLASS_NONE, 255, ""}},
     0},
    // 26 is the first number the table of floppy numbers has no slot for.
    {"FloppyNumbersPastTheTableAreNeitherMarkedNorFound",
     {{'E', {R, true, 26, F5_1Pt2_512}}, {'G', {R, true, 26, std::nullopt}}},
     {{26, {true, RemovableMedia}}},
     {{EnumKey::Sfloppy, 40}},
     {{'E', 2, DEVCLASS_FLOPPY, 26, "Sfloppy#26"}, {'G', 2, DEVCLASS_NONE, 26, ""}},
     0},
    {"OtherDriveTypesAreLeftAlone",
     {{'Q', {DRIVE_CDROM, true, 0, std::nullopt}}},
     {},
     {},
     {{'Q', 5, DEVCLASS_NONE, 255, "-"}},
     0},
};

INSTANTIATE_TEST_SUITE_P(Letters, Classification, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.what); });

// A disk outside the floppy number range needs no geometry: the scan opens
// no more devices than the decision needs.
// Only a disk device whose volume lies wholly on the disk it names, or whose
// extents the system does not give, is tied to that disk.
TEST(LiesOnItsDisk, OnlyADiskWhollyOnTheNumberItGives) {
    struct Row {
        bool answered;
        DWORD deviceType;
        DiskExtents extents;
        DWORD extentDisk;
        bool lies;
    };
    const Row rows[] = {
        {true, FILE_DEVICE_DISK, DiskExtents::Unanswered, 0, true},
        {true, FILE_DEVICE_DISK, DiskExtents::One, 3, true},
        {true, FILE_DEVICE_DISK, DiskExtents::One, 2, false},      // a RAM disk's borrowed number
        {true, FILE_DEVICE_DISK, DiskExtents::Several, 3, false},  // spanned over two disks
        {true, FILE_DEVICE_VIRTUAL_DISK, DiskExtents::One, 3, false},
        {false, FILE_DEVICE_DISK, DiskExtents::One, 3, false},
    };
    for (const Row& row : rows) {
        DeviceNumberAnswer answer;
        answer.volumeOpened = true;
        answer.answered = row.answered;
        answer.deviceType = row.deviceType;
        answer.deviceNumber = 3;
        answer.extents = row.extents;
        answer.extentDisk = row.extentDisk;
        EXPECT_EQ(LiesOnItsDisk(answer), row.lies)
            << row.answered << " " << row.deviceType << " " << static_cast<int>(row.extents)
            << " on disk " << row.extentDisk;
    }
}

TEST(ClassificationCost, ADiskPastTheFloppyNumbersIsDecidedWithoutGeometry) {
    TableProbes probes;
    probes.letters = {{'E', {R, true, 1, RemovableMedia}}};
    LetterTable table;
    ClassifyDriveLetters(probes, table);
    EXPECT_EQ(probes.asked, std::vector<std::string>{"number E"});
}

}  // namespace
}  // namespace veldra

#include "fuzz/campaign/random_machine.h"

#include <cstdio>

#include "fuzz/campaign/oracle.h"
#include "fuzz/campaign/random_data_file.h"

namespace veldra::campaign {
namespace {

constexpr std::uint32_t kSector = 512;

constexpr std::uint32_t kFat32Sectors = 133120;  // 65 MiB: 65525 clusters and more

// A stick as it comes: zeros, or formatted (from sector 0 or behind a master
// boot record), with files on it or none; a FAT32 stick is always formatted.
std::string RandomStick(Dice& dice, std::uint32_t sectors, bool fat32) {
    std::string image(std::size_t{sectors} * kSector, '\0');
    int kind = static_cast<int>(dice.Between(fat32 ? 1 : 0, 3));
    if (kind == 0) return image;
    std::uint32_t size = fat32 ? kFat32Sectors : 2048;
    const std::string& volume = VolumeTemplate(size, dice.Chance(60), fat32);
    std::size_t at = kind == 1 ? 0 : 2048 * kSector;
    image.replace(at, volume.size(), volume);
    if (kind > 1) {
        std::string mbr(kSector, '\0');
        mbr[446 + 4] = fat32 ? 0x0C : 0x06;
        mbr[446 + 8] = 0x00, mbr[446 + 9] = 0x08;  // from sector 2048
        for (int i = 0; i < 4; ++i) mbr[446 + 12 + i] = static_cast<char>(size >> (8 * i));
        mbr[440] = 0x12, mbr[441] = 0x34;
        mbr[510] = 0x55, mbr[511] = static_cast<char>(0xAA);
        image.replace(0, kSector, mbr);
    }
    // A volume BitLocker has locked: its boot sector names "-FVE-FS-".
    if (dice.Chance(5)) image.replace(at + 3, 8, "-FVE-FS-");
    return image;
}

// A GPT stick: a protective master boot record over the whole medium and the
// header at sector 1.
std::string GptStick(std::uint32_t sectors) {
    std::string image(std::size_t{sectors} * kSector, '\0');
    image[446 + 4] = static_cast<char>(0xEE);
    image[446 + 8] = 1;
    for (int i = 0; i < 4; ++i) image[446 + 12 + i] = static_cast<char>(0xFF);
    image[510] = 0x55, image[511] = static_cast<char>(0xAA);
    image.replace(kSector, 8, "EFI PART");
    return image;
}

Faults RandomFaults(Dice& dice, Creation& creation) {
    Faults f;
    if (!dice.Chance(55)) return f;
    for (auto n = dice.Between(1, 2); n > 0; --n) {
        switch (dice.Between(0, 14)) {
            case 0:
            case 1:
                f.failingWrites = static_cast<int>(dice.Between(1, 7));
                if (dice.Chance(70)) f.writesBeforeFailing = static_cast<int>(dice.Between(0, 12));
                break;
            case 2:
                f.pullAfterWrites = static_cast<int>(dice.Between(1, 25));
                break;
            case 3:
                // Only reading back can find a lie of the device.
                f.corruptWrites = static_cast<int>(dice.Between(1, 25));
                creation.verify = true;
                break;
            case 4:
                f.corruptFileWrites = static_cast<int>(dice.Between(1, 6));
                creation.verify = true;
                break;
            case 5:
                f.pullAfterFiles = static_cast<int>(dice.Between(1, 5));
                break;
            case 6:
                f.unmountedCreates = static_cast<int>(dice.Between(1, 9));
                break;
            case 7:
                f.writeProtected = dice.Chance(60);
                break;
            case 8:
                f.absent = dice.Chance(60);
                break;
            case 9:
                f.pullAtClose = static_cast<int>(dice.Between(1, 5));
                break;
            case 10:
                f.shortTransfers = static_cast<int>(dice.Between(1, 30));
                break;
            case 11:
                f.straySeeks = static_cast<int>(dice.Between(1, 30));
                break;
            case 12:
                // Any error a write fails with is a failed write to the program.
                f.failingWrites = static_cast<int>(dice.Between(1, 7));
                f.writeError = static_cast<int>(dice.Pick(std::vector<int>{23, 31, 483, 1117}));
                break;
            case 13:
                f.failingFlush = static_cast<int>(dice.Between(1, 6));
                break;
            case 14:
                // A creation changes the layout once: a second one never comes.
                f.failingLayout = static_cast<int>(dice.Between(1, 2));
                f.writeError = static_cast<int>(dice.Pick(std::vector<int>{23, 31, 483, 1117}));
                break;
        }
    }
    return f;
}

std::string Keys(const Faults& f) {
    std::string keys;
    auto key = [&](const char* name, const std::optional<int>& value) {
        if (value) keys += std::string(name) + " = " + std::to_string(*value) + "\n";
    };
    key("failing-writes", f.failingWrites);
    key("writes-before-failing", f.writesBeforeFailing);
    key("pull-after-writes", f.pullAfterWrites);
    key("corrupt-writes", f.corruptWrites);
    key("corrupt-file-writes", f.corruptFileWrites);
    key("pull-after-files", f.pullAfterFiles);
    key("pull-at-close", f.pullAtClose);
    key("short-transfers", f.shortTransfers);
    key("stray-seeks", f.straySeeks);
    key("write-error", f.writeError);
    key("unmounted-creates", f.unmountedCreates);
    key("failing-flush", f.failingFlush);
    key("failing-layout", f.failingLayout);
    if (f.writeProtected) keys += "write-protected = yes\n";
    if (f.absent) keys += "medium = absent\n";
    return keys;
}

}  // namespace

const Device* DeviceAt(const Creation& creation, char letter) {
    for (const Device& d : creation.devices)
        if (d.letter == letter || (letter != 0 && d.twin == letter)) return &d;
    return nullptr;
}

Creation RandomCreation(std::uint64_t seed) {
    Creation c;
    c.seed = seed;
    Dice dice(seed);
    // Windows 2000 only shows the program refusing to start: now and then.
    c.version =
        dice.Chance(3)
            ? "5.0.2195"
            : dice.Pick(std::vector<std::string>{"5.1.2600", "5.2.3790", "6.0.6002", "6.1.7601",
                                                 "6.2.9200", "6.3.9600", "10.0.19045"});
    c.vista = c.version[0] != '5';
    c.supported = c.version.rfind("5.0.", 0) != 0;
    if (!c.supported) c.refusal = "Windows 2000";
    // A version query or a heap that fails: the program says so and ends.
    if (int system = static_cast<int>(dice.Between(1, 100)); system <= 4) {
        c.systemKeys = system <= 2 ? "heap = fails\n" : "version-query = fails\n";
        c.refusal = system <= 2 ? "the heap fails" : "the version query fails";
        c.supported = false;
    }
    char clock[32];
    std::snprintf(clock, sizeof clock, "%04d-%02d-%02d %02d:%02d:%02d",
                  static_cast<int>(dice.Between(1990, 2030)), static_cast<int>(dice.Between(1, 12)),
                  static_cast<int>(dice.Between(1, 28)), static_cast<int>(dice.Between(0, 23)),
                  static_cast<int>(dice.Between(0, 59)), static_cast<int>(dice.Between(0, 59)));
    c.clock = clock;
    c.writeDelay = static_cast<int>(dice.Pick(std::vector<int>{50, 100, 250}));
    c.writeRetry = static_cast<int>(dice.Between(5, 7));
    c.verify = dice.Chance(25);
    c.usbProgram = dice.Chance(50);
    c.dataFile = RandomDataFile(dice, c.usbProgram);

    Device floppy{'A', DeviceKind::Floppy, 0, FloppyTemplate(dice.Chance(50)), {}, ""};
    c.devices.push_back(floppy);
    int number = 1;
    for (char letter : {'B', 'E', 'F'}) {
        if (letter != 'E' && !dice.Chance(35)) continue;
        auto sectors = static_cast<std::uint32_t>(
            dice.Pick(std::vector<std::uint32_t>{4096, 8192, 16384, 32768}));
        bool fat32 = dice.Chance(4);
        if (fat32) sectors = kFat32Sectors + 2048;
        Device stick{letter, DeviceKind::Stick, number++, RandomStick(dice, sectors, fat32), {},
                     ""};
        // The states sticks arrive in: a GPT disk, 4096-byte sectors, a
        // medium just large enough for the data file or a sector too small.
        int state = static_cast<int>(dice.Between(1, 100));
        std::uint64_t needed = SectorsNeeded(c.dataFile);
        if (state <= 4) stick.image = GptStick(sectors);
        if (state > 4 && state <= 8) stick.sectorSize = 4096;
        if (state > 8 && state <= 14 && needed > 8)
            stick.image.assign((needed - (state <= 11)) * kSector, '\0');
        if (dice.Chance(15))
            stick.extraKeys += dice.Chance(70) ? "write-cache = yes\n" : "write-cache = no-fua\n";
        // A virtual disk driver's device; a stick whose second partition has
        // a letter of its own.
        stick.virtualDisk = dice.Chance(4);
        if (letter == 'E' && c.usbProgram && !DeviceAt(c, 'G') && dice.Chance(5)) stick.twin = 'G';
        if (c.vista && dice.Chance(40)) {
            stick.extraKeys =
                dice.Chance(30) ? "reread-after = never\n"
                                : "reread-after = " + std::to_string(dice.Between(0, 6000)) + "\n";
            stick.extraKeys += "appear-after = " + std::to_string(dice.Between(0, 3000)) + "\n";
        }
        c.devices.push_back(stick);
    }
    for (Device& d : c.devices) {
        d.faults = RandomFaults(dice, c);
        d.inserted = d.faults.absent && dice.Chance(50);
    }
    // Holders let go within the program's patience with a lock. A seek or a
    // transfer that goes wrong is counted in the oracle's walk, which has no
    // word for the writes a holder's new mount makes the program repeat.
    bool counted = false;
    for (const Device& d : c.devices) counted |= d.faults.shortTransfers || d.faults.straySeeks;
    if (c.vista && !counted && dice.Chance(40)) {
        for (auto n = dice.Between(1, 2); n > 0; --n) {
            const Device& held = dice.Pick(c.devices);
            // Now and then one that never lets go: no lock is ever had.
            bool forever = dice.Chance(10);
            c.holders +=
                "[holder H" + std::to_string(n) + "]\nvolume = " + held.letter +
                "\nholds-after = " + std::to_string(dice.Between(0, 2000)) +
                "\nlets-go-after = " + (forever ? "never" : std::to_string(dice.Between(0, 4000))) +
                "\n";
        }
    }
    c.logExists = dice.Chance(30);
    if (c.logExists) {
        for (auto n = dice.Between(0, 200); n > 0; --n)
            c.logBefore += static_cast<char>(dice.Between(0x20, 0x7E));
        if (dice.Chance(50)) c.logBefore += "\r\n";
    }
    // C: read-only or nearly full, the data file or the log held open, cut,
    // lost or gone after a few opens.
    if (dice.Chance(12)) {
        const std::string tavex = "C:\\TAVEX\\";
        bool log = dice.Chance(50);
        std::string file = tavex + (log ? "TVLOG.TXT" : "PROG.DAT");
        switch (dice.Between(0, 4)) {
            case 0:
                c.readOnlyC = true;
                break;
            case 1:
                c.freeBytesC = dice.Between(0, 60);
                break;
            case 2:
                c.fileFaults = "[held-open]\n" + file + " = " +
                               dice.Pick(std::vector<std::string>{"none", "read", "read-write"}) +
                               "\n\n";
                break;
            case 3:
                c.fileFaults =
                    "[vanishing]\n" + file + " = " + std::to_string(dice.Between(0, 4)) + "\n\n";
                break;
            case 4:
                c.fileFaults =
                    "[failing-reads]\n" + file + " = " + std::to_string(dice.Between(0, 12)) + " " +
                    dice.Pick(std::vector<std::string>{"cut", "lost", "glitch"}) + "\n\n";
                break;
        }
        c.logHeld = log && !c.fileFaults.empty();
        c.dataFileFault = !log && !c.fileFaults.empty();
    }
    int lines = 1 + (c.usbProgram && DeviceAt(c, 'E') && DeviceAt(c, 'E')->twin) +
                (c.usbProgram ? DeviceAt(c, 'F') != nullptr : DeviceAt(c, 'B') != nullptr);
    c.answers.driveLine = static_cast<int>(dice.Between(1, static_cast<std::uint64_t>(lines)));
    // The stick at E: pulled and plugged in again while the confirmation
    // waits: F:'s stick has taken its device number meanwhile.
    const Device *e = DeviceAt(c, 'E'), *f = DeviceAt(c, 'F');
    c.answers.replug = e && f && !e->faults.absent && !f->faults.absent && dice.Chance(25);
    c.answers.confirm = dice.Chance(92);
    c.answers.proceed = dice.Chance(85);
    for (auto n = dice.Between(0, 4); n > 0; --n) c.answers.retries.push_back(dice.Chance(70));
    return c;
}

std::string MachineDescription(const Creation& c) {
    std::string ini =
        "[system]\nversion = " + c.version + "\nplatform = 2\nmodule = C:\\TAVEX\\TAVEX.EXE\n" +
        "clock = " + c.clock + "\n" + c.systemKeys + "\n[drive C]\ntype = fixed\nroot = C\n" +
        (c.readOnlyC ? "read-only = yes\n" : "") +
        (c.freeBytesC ? "free-bytes = " + std::to_string(*c.freeBytesC) + "\n" : "") + "\n";
    for (const Device& d : c.devices) {
        bool floppy = d.kind == DeviceKind::Floppy;
        std::string section = floppy ? "floppy " : "disk ";
        section += std::to_string(d.number);
        ini +=
            std::string("[drive ") + d.letter + "]\ntype = removable\ndevice = " + section + "\n\n";
        if (d.twin)
            ini += std::string("[drive ") + d.twin + "]\ntype = removable\ndevice = " + section +
                   "\npartition = 2\n\n";
        ini += "[" + section + "]\nimage = " + d.ImageName() + "\n" +
               (floppy ? "device-number = fails\n" : "") +
               (d.sectorSize != 512 ? "bytes-per-sector = " + std::to_string(d.sectorSize) + "\n"
                                    : "") +
               (d.virtualDisk ? "device-type = virtual-disk\n" : "") + Keys(d.faults) +
               d.extraKeys + "\n";
    }
    ini += "[registry SYSTEM\\CurrentControlSet\\Services\\Flpydisk\\Enum]\nCount = dword:1\n\n";
    return ini + c.fileFaults + c.holders;
}

std::string MediaDefinition(const Creation& c) {
    return "[FILE]\r\nFILES=1\r\nFILE1=PROG.DAT\r\nFILENO=1\r\nWRITEDELAY=" +
           std::to_string(c.writeDelay) + "\r\nWRITERETRY=" + std::to_string(c.writeRetry) +
           "\r\n" + (c.verify ? "VERIFY=1\r\n" : "");
}

}  // namespace veldra::campaign

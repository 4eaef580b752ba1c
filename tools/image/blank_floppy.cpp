#include "tools/image/blank_floppy.h"

#include <algorithm>
#include <cstring>

namespace veldra {
namespace {

constexpr std::size_t kSector = 512;
constexpr std::uint16_t kReserved = 1;
constexpr std::uint8_t kFats = 2;
constexpr std::uint16_t kRootEntries = 224;
constexpr std::uint16_t kSectors = 2880;
constexpr std::uint8_t kMedia = 0xF0;  // 3.5-inch, 2 sides, 18 sectors a track
constexpr std::uint16_t kFatSectors = 9;

void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

std::vector<std::uint8_t> BlankFloppyImage() {
    std::vector<std::uint8_t> image(kFloppyBytes, 0);
    std::uint8_t* boot = image.data();
    const std::uint8_t jump[] = {0xEB, 0x3C, 0x90};
    std::memcpy(boot, jump, sizeof jump);
    std::memcpy(boot + 3, "VELDRA  ", 8);
    Put16(boot + 11, kSector);
    boot[13] = 1;  // sectors a cluster
    Put16(boot + 14, kReserved);
    boot[16] = kFats;
    Put16(boot + 17, kRootEntries);
    Put16(boot + 19, kSectors);
    boot[21] = kMedia;
    Put16(boot + 22, kFatSectors);
    Put16(boot + 24, 18);  // sectors a track
    Put16(boot + 26, 2);   // heads
    boot[38] = 0x29;       // the extended fields follow
    // A fixed serial number: the same data file gives the same image.
    Put32(boot + 39, 0x56454C44);
    std::memcpy(boot + 43, "NO NAME    ", 11);
    std::memcpy(boot + 54, "FAT12   ", 8);
    // Started anyway, it stops: the medium is no boot disk until written.
    const std::uint8_t halt[] = {0xFA, 0xF4, 0xEB, 0xFD};  // cli; hlt; jmp $-1
    std::memcpy(boot + 62, halt, sizeof halt);
    boot[510] = 0x55;
    boot[511] = 0xAA;

    for (int copy = 0; copy < kFats; ++copy) {
        std::uint8_t* fat = image.data() + (kReserved + copy * kFatSectors) * kSector;
        fat[0] = kMedia;
        fat[1] = 0xFF;
        fat[2] = 0xFF;
    }
    return image;
}

}  // namespace veldra

// One creation of the campaign: everything drawn from its seed (the data
// file, the machine, the operator's answers), shared by the parts that make
// it, run it and judge it.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace veldra::campaign {

// The seed's random numbers, with the few shapes the campaign draws.
class Dice {
public:
    explicit Dice(std::uint64_t seed) : m_engine(seed) {}
    std::uint64_t Bits() { return m_engine(); }
    // From low to high, both included.
    std::uint64_t Between(std::uint64_t low, std::uint64_t high) {
        return low + m_engine() % (high - low + 1);
    }
    bool Chance(int percent) { return Between(1, 100) <= static_cast<std::uint64_t>(percent); }
    template <typename T>
    const T& Pick(const std::vector<T>& from) {
        return from[Between(0, from.size() - 1)];
    }

private:
    std::mt19937_64 m_engine;
};

// The device faults of the machine description, as drawn.
struct Faults {
    std::optional<int> failingWrites, writesBeforeFailing, pullAfterWrites, corruptWrites,
        corruptFileWrites, pullAfterFiles, pullAtClose, shortTransfers, straySeeks,
        unmountedCreates, writeError, failingFlush, failingLayout;
    bool writeProtected = false;
    bool absent = false;
};

enum class DeviceKind { Floppy, Stick };

struct Device {
    char letter = 'A';
    DeviceKind kind = DeviceKind::Floppy;
    int number = 0;     // [floppy N] or [disk N]
    std::string image;  // the medium as it goes in
    Faults faults;
    std::string extraKeys;     // reread-after, appear-after and write-cache, as lines
    int sectorSize = 512;      // bytes-per-sector
    bool virtualDisk = false;  // device-type = virtual-disk
    char twin = 0;             // a second letter on the same stick
    bool inserted = false;     // an empty drive the operator puts the medium in at the question
    std::string ImageName() const {
        return std::string(1, static_cast<char>(letter + 32)) + ".img";
    }
};

// What the operator answers: the confirmation, the question about files
// left on a stick, and the retry questions one by one (No after the last).
struct OperatorAnswers {
    int driveLine = 1;
    bool confirm = true;
    bool proceed = true;
    std::vector<bool> retries;
    bool replug = false;  // the stick at E: pulled and plugged in again at the question
};

struct Creation {
    std::uint64_t seed = 0;
    std::string version;     // [system] version
    bool vista = false;      // 6.0 and later
    bool supported = true;   // not Windows 2000: the program refuses to start there
    std::string refusal;     // why the program must not start: the version, the heap
    std::string systemKeys;  // heap and version-query, as lines
    // C: read-only or nearly full; faults on the data file or the log.
    bool readOnlyC = false;
    std::optional<std::uint64_t> freeBytesC;
    std::string fileFaults;  // [held-open], [vanishing] and [failing-reads] sections
    bool dataFileFault = false, logHeld = false;
    std::string clock;  // [system] clock, "YYYY-MM-DD hh:mm:ss"
    int writeDelay = 100, writeRetry = 5;
    bool verify = false;
    std::vector<Device> devices;
    std::string holders;   // [holder] sections
    std::string dataFile;  // the bytes the program reads
    bool usbProgram = false;
    std::string logBefore;  // TVLOG.TXT before the run
    bool logExists = false;
    OperatorAnswers answers;
};

}  // namespace veldra::campaign

// The simulated machine as a contract-test adapter: a TestMachine whose drive
// D holds the scratch folder, so that the faults of the setup (write
// protection, free space) apply to it alone.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "host/cp932.h"
#include "sim/machine/sim_machine.h"
#include "tests/platform/fat_medium.h"
#include "tests/platform/port_adapter.h"
#include "tests/support/test_machine.h"

namespace veldra::testing {
namespace {

constexpr char kScratch[] = "D:\\SCRATCH";

std::string Utf8(const std::string& cp932) {
    auto converted = host::Cp932ToUtf8(cp932);
    if (!converted) throw std::invalid_argument("not code page 932: " + cp932);
    return *converted;
}

std::filesystem::path HostRelative(const std::string& cp932) {
    std::string utf8 = Utf8(cp932);
    for (char& c : utf8) {
        if (c == '\\') c = '/';
    }
    return utf8;
}

const char* ShareName(DWORD share) {
    switch (share) {
        case 0:
            return "none";
        case FILE_SHARE_READ:
            return "read";
        case FILE_SHARE_WRITE:
            return "write";
        default:
            return "read-write";
    }
}

class SimAdapter final : public PortAdapter {
public:
    explicit SimAdapter(const std::filesystem::path& dir)
        : m_machine(sim::LoadMachineDescription(dir), sim::OperatorScript(), m_transcript) {}
    SystemPort& System() override { return m_machine.ports().system; }
    FilePort& Files() override { return m_machine.ports().files; }
    ProfilePort& Profile() override { return m_machine.ports().profile; }
    DevicePort& Devices() override { return m_machine.ports().devices; }
    RegistryPort& Registry() override { return m_machine.ports().registry; }

private:
    sim::Transcript m_transcript;
    sim::SimMachine m_machine;
};

class SimHost final : public TestHost {
public:
    explicit SimHost(const HostSetup& setup) {
        std::filesystem::path scratch = m_machine.Dir() / "D" / "SCRATCH";
        std::filesystem::create_directories(scratch);
        for (const std::string& folder : setup.folders) {
            std::filesystem::create_directories(scratch / HostRelative(folder));
        }
        for (const auto& [name, contents] : setup.files) {
            std::filesystem::path file = scratch / HostRelative(name);
            std::filesystem::create_directories(file.parent_path());
            std::ofstream(file, std::ios::binary) << contents;
        }
        std::string drive = "[drive D]\nroot = D\n";
        if (setup.readOnlyDrive) drive += "read-only = yes\n";
        if (setup.freeBytes) drive += "free-bytes = " + std::to_string(*setup.freeBytes) + "\n";
        m_machine.AddSection(drive);
        std::string held = "[held-open]\n";
        for (const auto& [name, share] : setup.heldOpen) {
            held += Utf8(At(name)) + " = " + ShareName(share) + "\n";
        }
        m_machine.AddSection(held);
        std::string vanishing = "[vanishing]\n";
        for (const auto& [name, opens] : setup.vanishing) {
            vanishing += Utf8(At(name)) + " = " + std::to_string(opens) + "\n";
        }
        m_machine.AddSection(vanishing);
        for (const HostSetup::RegistryValue& value : setup.registry) {
            m_machine.AddSection(
                "[registry " + value.key + "]\n" + value.name + " = " +
                (value.number ? "dword:" + std::to_string(*value.number) : "sz:" + value.text) +
                "\n");
        }
        if (setup.diskBytes) {
            std::filesystem::path image = m_machine.Dir() / "disk7.img";
            std::ofstream(image, std::ios::binary).close();
            std::filesystem::resize_file(image, *setup.diskBytes);
            m_machine.AddSection("[disk 7]\nimage = disk7.img\nbytes-per-sector = " +
                                 std::to_string(setup.diskSectorBytes) + "\n");
        }
        if (setup.fatVolume) {
            // The example machine's stick, on Windows 7.
            std::filesystem::path media = m_machine.Dir() / "media";
            std::string make = std::string(VELDRA_SOURCE_DIR) + "/examples/media/make-media.sh '" +
                               media.string() + "' >/dev/null 2>&1";
            if (std::system(make.c_str()) != 0) throw std::runtime_error("cannot make " + make);
            std::filesystem::rename(media / "usb.img", m_machine.Dir() / "disk7.img");
            m_machine.AddSection(
                "[disk 7]\nimage = disk7.img\n[drive R]\ntype = removable\ndevice = disk 7\n");
            m_machine.SetSystem("version", "6.1.7601");
        }
        m_machine.WriteMachineDescription();
    }

    std::string Scratch() const override { return kScratch; }
    char UnusedDriveLetter() const override { return 'Q'; }
    std::string DiskPath() const override { return "\\\\.\\PhysicalDrive7"; }
    std::string VolumeRoot() const override { return "R:"; }
    std::string UniqueName(const std::string& stem) override {
        return stem + std::to_string(++m_nNames);
    }
    std::unique_ptr<PortAdapter> Start() override {
        return std::make_unique<SimAdapter>(m_machine.Dir());
    }

private:
    static std::string At(const std::string& name) { return std::string(kScratch) + "\\" + name; }

    TestMachine m_machine;
    int m_nNames = 0;
};

}  // namespace

AdapterFactory SimAdapterFactory() {
    return {"Sim", [](const HostSetup& setup) -> std::unique_ptr<TestHost> {
                // mkfs.fat formats the volume.
                if (setup.fatVolume && sim::testing::ToolPath("mkfs.fat").empty()) return nullptr;
                return std::make_unique<SimHost>(setup);
            }};
}

std::vector<AdapterFactory> AdapterFactories() {
    return {SimAdapterFactory()};
}

}  // namespace veldra::testing

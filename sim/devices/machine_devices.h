// The device and registry sections of machine.ini: [disk N], [floppy N] and
// [registry KEY], and a drive's "device" key.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "sim/devices/device_config.h"

namespace veldra::sim {

// Reports a malformed line; does not return.
using DescriptionFailure = std::function<void(const std::string& what)>;

// "disk 1", "floppy 0"; fails on anything else.
DeviceId ParseDeviceId(const std::string& text, const DescriptionFailure& fail);

// A new device section's defaults: a disk is removable media numbered by its
// unit, a floppy unit a 1.44 MB medium whose number is its unit.
DeviceConfig NewDevice(DeviceId id);

void AssignDeviceKey(DeviceConfig& device, const std::filesystem::path& machineDir,
                     const std::string& key, const std::string& value,
                     const DescriptionFailure& fail);

// "Count = dword:1", "0 = USBSTOR\...", "FriendlyName = sz:..." (UTF-8 text).
void AssignRegistryValue(RegistryConfig& registry, const std::string& keyPath,
                         const std::string& name, const std::string& value,
                         const DescriptionFailure& fail);

// Checks what one line cannot: every image exists, unless the medium is absent.
void CheckDevice(const DeviceConfig& device, const DescriptionFailure& fail);

}  // namespace veldra::sim

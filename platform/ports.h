// The platform as the program sees it: one reference per facility. The
// application object receives it at construction and hands it on.
#pragma once

#include "platform/device_port.h"
#include "platform/file_port.h"
#include "platform/profile_port.h"
#include "platform/registry_port.h"
#include "platform/shell_port.h"
#include "platform/system_port.h"
#include "platform/ui_port.h"

namespace veldra {

struct Ports {
    SystemPort& system;
    FilePort& files;
    ProfilePort& profile;
    UiPort& ui;
    ShellPort& shell;
    DevicePort& devices;
    RegistryPort& registry;
};

}  // namespace veldra

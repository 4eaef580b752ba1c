// A machine with three programs listed: floppy "フロッピー版", USB "USB版" and
// floppy "予備", the first preselected.
#pragma once

#include <gtest/gtest.h>

#include "tests/support/test_machine.h"

namespace veldra::testing {

class ThreePrograms : public ::testing::Test {
protected:
    void SetUp() override {
        machine.InstallPrograms({TestMachine::FloppyProgram("フロッピー版"),
                                 TestMachine::UsbProgram("USB版"),
                                 TestMachine::FloppyProgram("予備")});
    }
    TestMachine machine;
};

}  // namespace veldra::testing

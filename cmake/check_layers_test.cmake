# Runs cmake/check_layers.cmake on small trees of one file each and checks
# that it refuses what the layers forbid and lets the rest through.
#
#   cmake -DCHECK=cmake/check_layers.cmake -DWORK_DIR=<scratch> -P cmake/check_layers_test.cmake
#
# One row a tree: the file, the include it holds, and "refused" or "accepted".
# A quoted include without a folder gets a file beside it when the row's file
# name ends in "+beside".

set(rows
  # The layers: downwards only.
  "app/a.cpp|\"platform/ports.h\"|accepted"
  "app/a.cpp|\"media/create_media.h\"|accepted"
  "records/a.cpp|\"res/message_text.h\"|accepted"
  "res/a.cpp|\"records/data_file_format.h\"|refused"
  "disk/a.h|\"media/create_media.h\"|refused"
  "platform/a.h|\"res/resource.h\"|refused"
  "platform/deeper/a.h|\"res/resource.h\"|refused"
  "platform/a.inc|\"app/tavexfd_app.h\"|refused"
  # No layer includes a host or the host-side helpers.
  "records/a.cpp|\"sim/kernel/kernel.h\"|refused"
  "records/a.cpp|\"host/cp932.h\"|refused"
  "records/a.h|<sim/kernel/kernel.h>|refused"
  "res/a.cpp|<host/text.h>|refused"
  "app/a.cpp|\"win32/win32_ports.h\"|refused"
  "app/a.cpp|\"tools/inspect/inspect.h\"|refused"
  "media/a.cpp|\"tests/support/test_machine.h\"|refused"
  "platform/a.h|\"host/text.h\"|refused"
  "platform/a.h|\"../res/resource.h\"|refused"
  # platform/: itself and the standard library; the SDK through one header.
  "platform/a.h|\"platform/win32_types.h\"|accepted"
  "platform/a.h|<cstdint>|accepted"
  "platform/a.h|<string_view>|accepted"
  "platform/a.h|<gtest/gtest.h>|refused"
  "platform/a.h|<iconv.h>|refused"
  "platform/a.h|<windows.h>|refused"
  "platform/windows_sdk.h|<windows.h>|accepted"
  "platform/windows_sdk.h|<res/resource.h>|refused"
  "platform/a.h+beside|\"b.h\"|accepted"
  "platform/a.h|\"b.h\"|refused"
  # The fault campaign runs the program on the simulator and judges it on its own.
  "fuzz/campaign/a.cpp|\"sim/machine/sim_run.h\"|accepted"
  "fuzz/campaign/a.cpp|\"records/data_file_format.h\"|accepted"
  "fuzz/campaign/a.cpp|\"media/sector_plan.h\"|refused"
  "fuzz/campaign/a.h|<disk/disk_info.h>|refused"
  "fuzz/a.cpp|\"media/sector_plan.h\"|accepted"
  # host/: above platform/ only.
  "host/a.cpp|\"platform/win32_types.h\"|accepted"
  "host/a.cpp|\"res/message_text.h\"|refused"
  "host/a.cpp|\"sim/kernel/kernel.h\"|refused"
  # The hosts.
  "sim/kernel/a.cpp|\"host/cp932.h\"|accepted"
  "sim/machine/a.cpp|\"app/tavexfd_app.h\"|accepted"
  "sim/machine/a.cpp|\"win32/win32_ports.h\"|refused"
  "sim/machine/a.cpp|\"tools/image/image_run.h\"|refused"
  "win32/a.cpp|\"app/tavexfd_app.h\"|accepted"
  "win32/a.cpp|\"host/cp932.h\"|refused"
  "win32/a.cpp|\"sim/machine/sim_run.h\"|refused"
  "tools/image/a.cpp|\"sim/machine/sim_run.h\"|accepted"
  "tools/inspect/a.cpp|\"host/civil_time.h\"|accepted"
  "tools/inspect/a.cpp|\"win32/win32_ports.h\"|refused"
  # Unchecked.
  "tests/a.cpp|\"win32/win32_ports.h\"|accepted"
  "fuzz/a.cpp|\"sim/fat/fat_volume.h\"|accepted")

set(failures "")
set(number 0)
foreach(row IN LISTS rows)
  math(EXPR number "${number} + 1")
  string(REPLACE "|" ";" fields "${row}")
  list(GET fields 0 path)
  list(GET fields 1 include)
  list(GET fields 2 expected)
  set(beside FALSE)
  if(path MATCHES "^(.*)\\+beside$")
    set(path "${CMAKE_MATCH_1}")
    set(beside TRUE)
  endif()

  set(tree ${WORK_DIR}/${number})
  file(REMOVE_RECURSE ${tree})
  file(WRITE ${tree}/${path} "#pragma once\n#include ${include}\n")
  if(beside)
    get_filename_component(directory ${tree}/${path} DIRECTORY)
    file(WRITE ${directory}/b.h "#pragma once\n")
  endif()

  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${tree} -P ${CHECK}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(expected STREQUAL "refused")
    string(FIND "${output}" "  ${path} (" named)
    if(result EQUAL 0 OR named EQUAL -1)
      string(APPEND failures "  ${path} with #include ${include}: not refused\n${output}")
    endif()
  elseif(NOT result EQUAL 0)
    string(APPEND failures "  ${path} with #include ${include}: refused\n${output}")
  endif()
  file(REMOVE_RECURSE ${tree})
endforeach()

if(failures)
  message(FATAL_ERROR "The layer check answers wrongly:\n${failures}")
endif()
message(STATUS "Layer check: ${number} trees answered as expected")

# The release archives, made by CPack from the native build once the two
# Windows builds are there (the README's release commands):
#
#   cpack --preset release        -> build/release/VELDRA-<version>-windows-x86.zip
#                                    build/release/VELDRA-<version>-windows-x64.zip
#                                    build/release/SHA256SUMS
#
# Each archive holds what an operator unpacks into C:\TAVEX: TAVEX.EXE of its
# Windows build, the data files with a TAVEXMEDIA.INI that lists them,
# TvMan.pdf and README.TXT. The data files are the *.DAT files of the folder
# that the environment variable VELDRA_PACKAGE_DATA names when CPack runs, or
# the example programs without it (an environment variable rather than a
# cache entry, so that a producer's folder does not stick to the build tree
# and slip into a later release); each one must pass the reader's own checks
# (veldra-inspect) or the archive is not made (cmake/package_stage.cmake). Once the archives are made,
# cmake/package_check.cmake opens them again and checks that their names,
# TAVEX.EXE's version record and `--version` of veldra and the tools agree,
# then writes SHA256SUMS; when anything disagrees, the archives are removed.
#
# The archives' contents are install components that only CPack asks for
# (EXCLUDE_FROM_ALL): `cmake --install` of this build installs nothing.
set(VELDRA_WINDOWS_BUILDS ${PROJECT_SOURCE_DIR}/build CACHE PATH
  "Folder that holds the windows-x64 and windows-x86 builds whose TAVEX.EXE the archives carry")

set(example_data ${CMAKE_BINARY_DIR}/examples/machine/C/TAVEX)
foreach(arch IN ITEMS x86 x64)
  install(CODE "
    set(VELDRA_STAGE_ARCH ${arch})
    set(VELDRA_STAGE_EXE \"${VELDRA_WINDOWS_BUILDS}/windows-${arch}/win32/TAVEX.EXE\")
    set(VELDRA_STAGE_PRESET windows-${arch})
    set(VELDRA_STAGE_DATA \"\$ENV{VELDRA_PACKAGE_DATA}\")
    set(VELDRA_STAGE_EXAMPLE_DATA \"${example_data}\")
    set(VELDRA_STAGE_MANUAL \"${VELDRA_MANUAL_PDF}\")
    set(VELDRA_STAGE_README \"${VELDRA_README_TXT}\")
    set(VELDRA_STAGE_INSPECT \"$<TARGET_FILE:veldra-inspect>\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/package_stage.cmake\")"
    COMPONENT windows-${arch} EXCLUDE_FROM_ALL)
endforeach()

# What the check after packaging runs, with generator expressions resolved.
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/release/package_tools.cmake CONTENT "
set(VELDRA_TOOL_veldra \"$<TARGET_FILE:veldra>\")
set(VELDRA_TOOL_veldra-inspect \"$<TARGET_FILE:veldra-inspect>\")
set(VELDRA_TOOL_veldra-mkdata \"$<TARGET_FILE:veldra-mkdata>\")
set(VELDRA_TOOL_veldra-image \"$<TARGET_FILE:veldra-image>\")
")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME VELDRA)
set(CPACK_PACKAGE_VENDOR "VELDRA developers")
set(CPACK_PACKAGE_VERSION ${VELDRA_VERSION})
set(CPACK_PACKAGE_FILE_NAME VELDRA-${VELDRA_VERSION})
# One archive a component, VELDRA-<version>-<component>.zip, with the files
# at its top: unpacked into C:\TAVEX, they are where the program wants them.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL windows-x86 windows-x64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/release)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package_check.cmake)
# For package_check.cmake, which CPack runs with the CPACK_ variables.
set(CPACK_VELDRA_VERSION ${VELDRA_VERSION})
set(CPACK_VELDRA_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_VELDRA_MANUAL ${VELDRA_MANUAL_PDF})
set(CPACK_VELDRA_TOOLS ${CMAKE_BINARY_DIR}/release/package_tools.cmake)
include(CPack)

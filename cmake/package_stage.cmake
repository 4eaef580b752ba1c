# One release archive's contents, put together while CPack installs its
# component (cmake/package.cmake sets the VELDRA_STAGE_ variables):
#   TAVEX.EXE       of the Windows build VELDRA_STAGE_PRESET
#   *.DAT           the data files of VELDRA_STAGE_DATA (the environment's
#                   VELDRA_PACKAGE_DATA; the example programs when it is
#                   empty), each checked with veldra-inspect, whose verdict is
#                   the program's own reader's
#   TAVEXMEDIA.INI  listing them in the order of their names
#   TvMan.pdf       the manual
#   README.TXT      code page 932, CR LF
# Anything missing or refused stops the packaging with a message that says
# what to do; no archive is made then.
cmake_policy(VERSION 3.25)
set(stage "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

# The message is the arguments put together; taken one by one, so that a
# semicolon in them (a report, say) stays one.
function(refuse)
  set(what "")
  math(EXPR last "${ARGC} - 1")
  foreach(i RANGE ${last})
    string(APPEND what "${ARGV${i}}")
  endforeach()
  message(FATAL_ERROR "Release archive windows-${VELDRA_STAGE_ARCH}: ${what}")
endfunction()

if(NOT EXISTS "${VELDRA_STAGE_EXE}")
  refuse("${VELDRA_STAGE_EXE} is missing; build it first: "
    "cmake --preset ${VELDRA_STAGE_PRESET} && cmake --build --preset ${VELDRA_STAGE_PRESET}")
endif()
if(NOT VELDRA_STAGE_MANUAL OR NOT EXISTS "${VELDRA_STAGE_MANUAL}")
  refuse("the manual TvMan.pdf is not built here; scripts/install-deps.sh --release installs "
    "what it needs, then configure and build again (a release never carries the placeholder)")
endif()
if(NOT VELDRA_STAGE_README OR NOT EXISTS "${VELDRA_STAGE_README}")
  refuse("README.TXT is not built (it needs iconv)")
endif()

if(VELDRA_STAGE_DATA)
  set(data_dir "${VELDRA_STAGE_DATA}")
else()
  set(data_dir "${VELDRA_STAGE_EXAMPLE_DATA}")
endif()
if(NOT IS_DIRECTORY "${data_dir}")
  refuse("the data folder ${data_dir} does not exist")
endif()
message(STATUS "Data files from ${data_dir}")

# The data files: *.DAT in any letter case, sorted by name. Their names go
# into TAVEXMEDIA.INI as the program reads it (63 characters at most) and
# must be plain ASCII, so that every Windows spells them the same.
file(GLOB candidates LIST_DIRECTORIES false RELATIVE "${data_dir}" "${data_dir}/*")
set(data_files)
foreach(name IN LISTS candidates)
  if(name MATCHES "\\.[Dd][Aa][Tt]$")
    list(APPEND data_files "${name}")
  endif()
endforeach()
list(SORT data_files)
if(NOT data_files)
  refuse("${data_dir} holds no data file (*.DAT)")
endif()
set(seen)
foreach(name IN LISTS data_files)
  string(LENGTH "${name}" length)
  if(NOT name MATCHES "^[A-Za-z0-9_][A-Za-z0-9._-]*$" OR length GREATER 63)
    refuse("data file name \"${name}\": use letters, digits, '.', '_' and '-', 63 at most")
  endif()
  string(TOUPPER "${name}" upper)
  if(upper IN_LIST seen)
    refuse("${name}: Windows would not tell it from another data file of the folder")
  endif()
  list(APPEND seen "${upper}")
  execute_process(COMMAND "${VELDRA_STAGE_INSPECT}" "${data_dir}/${name}"
    RESULT_VARIABLE verdict OUTPUT_VARIABLE report ERROR_VARIABLE report)
  if(NOT verdict EQUAL 0)
    refuse("the program would refuse ${data_dir}/${name}; veldra-inspect says:\n${report}")
  endif()
endforeach()

set(writable OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
# Read-write, always: the program opens its data files for writing at start
# (a read-only one ends it with message 103) and writes FILENO back.
file(INSTALL "${VELDRA_STAGE_EXE}" DESTINATION "${stage}"
  FILE_PERMISSIONS ${writable} OWNER_EXECUTE GROUP_EXECUTE WORLD_EXECUTE)
foreach(name IN LISTS data_files)
  file(INSTALL "${data_dir}/${name}" DESTINATION "${stage}" FILE_PERMISSIONS ${writable})
endforeach()
file(INSTALL "${VELDRA_STAGE_MANUAL}" "${VELDRA_STAGE_README}" DESTINATION "${stage}"
  FILE_PERMISSIONS ${writable})

list(LENGTH data_files count)
set(ini "[FILE]\r\nFILES=${count}\r\n")
set(n 0)
foreach(name IN LISTS data_files)
  math(EXPR n "${n} + 1")
  string(APPEND ini "FILE${n}=${name}\r\n")
endforeach()
string(APPEND ini "FILENO=1\r\nWRITEDELAY=100\r\nWRITERETRY=5\r\n")
message(STATUS "Installing: ${stage}/TAVEXMEDIA.INI (${count} data files)")
file(WRITE "${stage}/TAVEXMEDIA.INI" "${ini}")
file(CHMOD "${stage}/TAVEXMEDIA.INI" FILE_PERMISSIONS ${writable})

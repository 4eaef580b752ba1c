# Runs after CPack has made the release archives (CPACK_POST_BUILD_SCRIPTS):
# opens each archive again and checks that
#   - there are two, named VELDRA-<version>-windows-x86.zip and -x64.zip, with
#     <version> the "ProductVersion" of res/tavex.rc;
#   - each holds exactly TAVEX.EXE, TAVEXMEDIA.INI, the data files it lists
#     (each accepted by veldra-inspect), TvMan.pdf (the manual built here)
#     and README.TXT (code page 932, CR LF);
#   - TAVEX.EXE is a program for its archive's processor (the x86 one for a
#     subsystem that Windows XP loads), and its version
#     record holds every value of res/tavex.rc's record, "ProductVersion"
#     among them, and the version dialog of res/dialog_templates.inc;
#   - veldra, veldra-inspect, veldra-mkdata and veldra-image --version say
#     the same version, and the same source commit as the record's
#     "Comments" (or none where the record has none);
# then writes SHA256SUMS beside the archives. When anything disagrees, the
# archives are removed and packaging fails.
cmake_policy(VERSION 3.25)
include("${CPACK_VELDRA_TOOLS}")
set(version "${CPACK_VELDRA_VERSION}")
set(source "${CPACK_VELDRA_SOURCE_DIR}")
set(work "${CPACK_TOPLEVEL_DIRECTORY}/check")
set(problems "")
# One line of the report, from the arguments put together one by one (a
# semicolon in them stays one).
function(problem)
  set(line "")
  math(EXPR last "${ARGC} - 1")
  foreach(i RANGE ${last})
    string(APPEND line "${ARGV${i}}")
  endforeach()
  set(problems "${problems}  ${line}\n" PARENT_SCOPE)
endfunction()

find_program(WINDRES NAMES x86_64-w64-mingw32-windres i686-w64-mingw32-windres windres)
find_program(OBJDUMP NAMES x86_64-w64-mingw32-objdump i686-w64-mingw32-objdump)
find_program(ICONV iconv)
if(NOT WINDRES OR NOT OBJDUMP OR NOT ICONV)
  message(FATAL_ERROR "The release check needs MinGW-w64's windres and objdump and iconv "
    "(scripts/install-deps.sh --windows)")
endif()

# What the sources say: the version record's values and the version dialog.
file(STRINGS "${source}/res/tavex.rc" record_lines REGEX "^[ \t]*VALUE \"[A-Za-z]+\", \"")
file(STRINGS "${source}/res/dialog_templates.inc" about_line
  REGEX "^VELDRA_CONTROL\\(IDC_STATIC, Static, \"[^\"]*Version")
string(REGEX REPLACE "^VELDRA_CONTROL\\(IDC_STATIC, Static, (\"[^\"]*\").*" "\\1" about_text
  "${about_line}")

# What each tool says about itself: "NAME VERSION" or "NAME VERSION (source C)".
set(tools_commit "")
set(first_tool TRUE)
foreach(tool IN ITEMS veldra veldra-inspect veldra-mkdata veldra-image)
  execute_process(COMMAND "${VELDRA_TOOL_${tool}}" --version RESULT_VARIABLE status
    OUTPUT_VARIABLE said OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0 OR NOT said MATCHES "^${tool} ([^ ]+)( \\(source ([^)]+)\\))?$")
    problem("${tool} --version says \"${said}\" (exit ${status})")
    continue()
  endif()
  if(NOT CMAKE_MATCH_1 STREQUAL version)
    problem("${tool} --version says ${CMAKE_MATCH_1}, the version record ${version}")
  endif()
  set(commit "${CMAKE_MATCH_3}")
  if(first_tool)
    set(tools_commit "${commit}")
    set(first_tool FALSE)
  elseif(NOT commit STREQUAL tools_commit)
    problem("${tool} was built from source ${commit}, veldra from ${tools_commit}")
  endif()
endforeach()

# CPack copies the archives into the package directory after this script,
# and goes on even when the script fails. So they are taken out of its way
# first and put back only once everything agrees: a check that stops for
# any reason leaves nothing to copy, and CPack fails.
set(archives ${CPACK_PACKAGE_FILES})
foreach(archive IN LISTS archives)
  file(RENAME "${archive}" "${archive}.unchecked")
endforeach()
list(LENGTH archives archive_count)
if(NOT archive_count EQUAL 2)
  problem("${archive_count} archives made, not 2: ${archives}")
endif()
set(sums "")
foreach(archive IN LISTS archives)
  get_filename_component(name "${archive}" NAME)
  if(NOT name MATCHES "^VELDRA-([^-]+)-windows-(x86|x64)\\.zip$")
    problem("${name}: not the name of a release archive")
    continue()
  endif()
  set(arch ${CMAKE_MATCH_2})
  if(NOT CMAKE_MATCH_1 STREQUAL version)
    problem("${name}: its version is not the version record's ${version}")
  endif()
  set(dir "${work}/${arch}")
  file(REMOVE_RECURSE "${dir}")
  file(ARCHIVE_EXTRACT INPUT "${archive}.unchecked" DESTINATION "${dir}")

  # The layout: the INI's data files and the four fixed files, nothing else.
  file(GLOB_RECURSE held LIST_DIRECTORIES true RELATIVE "${dir}" "${dir}/*")
  file(STRINGS "${dir}/TAVEXMEDIA.INI" ini_lines)
  set(expected TAVEX.EXE TAVEXMEDIA.INI TvMan.pdf README.TXT)
  set(listed)
  foreach(line IN LISTS ini_lines)
    if(line MATCHES "^FILE[0-9]+=(.+)$")
      string(STRIP "${CMAKE_MATCH_1}" data)
      list(APPEND listed "${data}")
    endif()
  endforeach()
  if(NOT listed)
    problem("${name}: TAVEXMEDIA.INI lists no data file")
  endif()
  list(APPEND expected ${listed})
  list(SORT expected)
  list(SORT held)
  if(NOT expected STREQUAL held)
    problem("${name} holds ${held}, expected ${expected}")
  endif()
  foreach(data IN LISTS listed)
    execute_process(COMMAND "${VELDRA_TOOL_veldra-inspect}" "${dir}/${data}"
      RESULT_VARIABLE verdict OUTPUT_QUIET ERROR_QUIET)
    if(NOT verdict EQUAL 0)
      problem("${name}: the program would refuse its ${data}")
    endif()
  endforeach()

  # Text files for Windows: CR LF line ends only, byte by byte (file(READ)
  # as text would drop the CRs).
  foreach(text IN ITEMS TAVEXMEDIA.INI README.TXT)
    file(READ "${dir}/${text}" content HEX)
    string(REGEX MATCHALL ".." bytes "${content}")
    set(previous "")
    set(crlf TRUE)
    foreach(byte IN LISTS bytes)
      if(byte STREQUAL "0a" AND NOT previous STREQUAL "0d")
        set(crlf FALSE)
      elseif(previous STREQUAL "0d" AND NOT byte STREQUAL "0a")
        set(crlf FALSE)
      endif()
      set(previous "${byte}")
    endforeach()
    if(NOT crlf OR NOT previous STREQUAL "0a")
      problem("${name}: ${text} has line ends other than CR LF")
    endif()
  endforeach()
  execute_process(COMMAND "${ICONV}" -f CP932 -t UTF-8 "${dir}/README.TXT"
    RESULT_VARIABLE status OUTPUT_VARIABLE readme ERROR_QUIET)
  if(NOT status EQUAL 0 OR NOT readme MATCHES "/INSTALL" OR NOT readme MATCHES "TVLOG\\.TXT"
     OR NOT readme MATCHES "VELDRA ${version}")
    problem("${name}: README.TXT is not code page 932 text naming the version, /INSTALL and TVLOG.TXT")
  endif()
  file(SHA256 "${dir}/TvMan.pdf" held_manual)
  file(SHA256 "${CPACK_VELDRA_MANUAL}" built_manual)
  if(NOT held_manual STREQUAL built_manual)
    problem("${name}: TvMan.pdf is not the manual built here")
  endif()

  # The program: its processor, its version record, its version dialog.
  execute_process(COMMAND "${OBJDUMP}" -f "${dir}/TAVEX.EXE" OUTPUT_VARIABLE header)
  if(arch STREQUAL "x86")
    set(format "pei-i386")
  else()
    set(format "pei-x86-64")
  endif()
  if(NOT header MATCHES "file format ${format}\n")
    problem("${name}: TAVEX.EXE is not ${format}")
  endif()
  # Windows XP (5.1) loads no program that asks for a later subsystem.
  if(arch STREQUAL "x86")
    execute_process(COMMAND "${OBJDUMP}" -p "${dir}/TAVEX.EXE" OUTPUT_VARIABLE pe)
    # (if() would evaluate a parenthesised part before the match.)
    set(subsystem 99.99)
    if(pe MATCHES "MajorSubsystemVersion\t([0-9]+)\nMinorSubsystemVersion\t([0-9]+)")
      set(subsystem "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}")
    endif()
    if(subsystem VERSION_GREATER 5.1)
      problem("${name}: TAVEX.EXE asks for subsystem ${subsystem}, later than Windows XP's 5.1")
    endif()
  endif()
  execute_process(COMMAND "${WINDRES}" -i "${dir}/TAVEX.EXE" -O rc
    RESULT_VARIABLE status OUTPUT_VARIABLE resources ERROR_VARIABLE windres_error)
  if(NOT status EQUAL 0)
    problem("${name}: windres cannot read TAVEX.EXE's resources: ${windres_error}")
  endif()
  foreach(line IN LISTS record_lines)
    string(STRIP "${line}" value)
    string(FIND "${resources}" "${value}" at)
    if(at EQUAL -1)
      problem("${name}: TAVEX.EXE's version record lacks ${value}")
    endif()
  endforeach()
  string(FIND "${resources}" "VALUE \"ProductVersion\", \"${version}\"" at)
  if(at EQUAL -1)
    problem("${name}: TAVEX.EXE's ProductVersion is not ${version}")
  endif()
  if(resources MATCHES "VALUE \"Comments\", \"source ([^\"]+)\"")
    set(exe_commit "${CMAKE_MATCH_1}")
  else()
    set(exe_commit "")
  endif()
  if(NOT exe_commit STREQUAL tools_commit)
    problem("${name}: TAVEX.EXE was built from source \"${exe_commit}\", "
      "veldra from \"${tools_commit}\": build the Windows builds again")
  endif()
  string(FIND "${resources}" "CONTROL ${about_text}, -1, \"STATIC\"" at)
  if(at EQUAL -1 OR about_text STREQUAL "")
    problem("${name}: the version dialog does not say ${about_text}")
  endif()

  file(SHA256 "${archive}.unchecked" hash)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()

# Archives of an earlier run go too, so that none is left that this run
# did not check.
set(release_dir "${CPACK_PACKAGE_DIRECTORY}")
file(GLOB earlier "${release_dir}/VELDRA-*-windows-*.zip")
file(REMOVE ${earlier} "${release_dir}/SHA256SUMS")
if(problems)
  message(FATAL_ERROR "The release archives disagree; none is made:\n${problems}")
endif()
foreach(archive IN LISTS archives)
  file(RENAME "${archive}.unchecked" "${archive}")
endforeach()
file(WRITE "${release_dir}/SHA256SUMS" "${sums}")
message(STATUS "Release ${version}: names, version record and --version agree; "
  "${release_dir}/SHA256SUMS written")

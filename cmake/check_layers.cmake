# Checks that dependencies run one way: every include of a project file names
# only a folder that the includer's folder may depend on.
#
#   cmake -DSOURCE_DIR=<repo> -P cmake/check_layers.cmake
#
# The program's layers, top to bottom: app, media, disk, records, res,
# platform. A file in a layer includes files of its own layer and of the
# layers below it. platform/ (the ports) includes nothing but platform/ and
# the C++ standard library; platform/windows_sdk.h alone brings in the
# Windows SDK.
#
# The hosts above the layers, which run the program: sim/ (the simulated
# machine and `veldra`), win32/ (the Windows side and TAVEX.EXE) and tools/.
# Each may include the layers; tools/ may also include sim/ (veldra-image runs
# the program on the simulated machine).
#
# host/ holds host-side helpers; it includes only platform/. sim/ and tools/
# may include it, and the tests; never a layer, and never win32/, all of which
# goes into TAVEX.EXE (the Windows side's checks that run on the build machine
# live in tests/win32/).
#
# fuzz/campaign/ (the fault campaign) is a host as well, whose oracle must
# judge the program without borrowing from it: it may include tools/, sim/,
# host/ and the layers below disk/, never app/, media/ or disk/.
#
# tests/, the rest of fuzz/ and bench/ may include anything.
#
# An include is a project include when it is written in quotes, or in angle
# brackets with a project folder first. A quoted include without a folder
# names a file beside the includer and must find one there.

set(layers app media disk records res platform)

function(layers_from layer out)
  list(FIND layers ${layer} index)
  list(SUBLIST layers ${index} -1 below)
  set(${out} ${below} PARENT_SCOPE)
endfunction()

layers_from(app allowed_app)
layers_from(media allowed_media)
layers_from(disk allowed_disk)
layers_from(records allowed_records)
layers_from(res allowed_res)
set(allowed_platform platform)
set(allowed_host host platform)
set(allowed_sim sim host ${layers})
set(allowed_win32 win32 ${layers})
set(allowed_tools tools sim host ${layers})
layers_from(records allowed_campaign)
set(allowed_fuzz/campaign fuzz tools sim host ${allowed_campaign})
set(checked_folders ${layers} host sim win32 tools fuzz/campaign)

# Folders of the repository, for includes in angle brackets.
set(project_folders ${checked_folders} tests fuzz bench examples)

# What platform/ may include in angle brackets: the C++ standard library.
set(standard_headers
  algorithm any array atomic barrier bit bitset charconv chrono codecvt compare complex
  concepts condition_variable coroutine deque exception execution expected filesystem
  flat_map flat_set format forward_list fstream functional future generator
  initializer_list iomanip ios iosfwd iostream istream iterator latch limits list locale
  map mdspan memory memory_resource mutex new numbers numeric optional ostream print queue
  random ranges ratio regex scoped_allocator semaphore set shared_mutex source_location
  span spanstream sstream stack stacktrace stdexcept stdfloat stop_token streambuf string
  string_view strstream syncstream system_error thread tuple type_traits typeindex
  typeinfo unordered_map unordered_set utility valarray variant vector version
  cassert cctype cerrno cfenv cfloat cinttypes climits clocale cmath csetjmp csignal
  cstdarg cstddef cstdint cstdio cstdlib cstring ctime cuchar cwchar cwctype)
set(sdk_doorway platform/windows_sdk.h)

set(violations "")
foreach(folder IN LISTS checked_folders)
  file(GLOB_RECURSE files ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp
    ${SOURCE_DIR}/${folder}/*.inc)
  set(allowed ${allowed_${folder}})
  foreach(file IN LISTS files)
    file(RELATIVE_PATH relative ${SOURCE_DIR} ${file})
    get_filename_component(directory ${file} DIRECTORY)
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    foreach(line IN LISTS includes)
      if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
        set(target "${CMAKE_MATCH_1}")
        set(quoted TRUE)
      elseif(line MATCHES "^[ \t]*#[ \t]*include[ \t]*<([^>]+)>")
        set(target "${CMAKE_MATCH_1}")
        set(quoted FALSE)
      else()
        string(APPEND violations "  ${relative} (${folder}) has an include not understood: ${line}\n")
        continue()
      endif()
      string(REGEX MATCH "^[^/]+" top "${target}")

      if(NOT quoted)
        list(FIND project_folders "${top}" project)
        if(project EQUAL -1 OR NOT target MATCHES "/")
          # Outside the project: platform/ may have the standard library only.
          if(folder STREQUAL "platform" AND NOT relative STREQUAL sdk_doorway)
            list(FIND standard_headers "${target}" standard)
            if(standard EQUAL -1)
              string(APPEND violations
                "  ${relative} (platform) includes <${target}>, not of the standard library\n")
            endif()
          endif()
          continue()
        endif()
      elseif(NOT target MATCHES "/")
        if(NOT EXISTS ${directory}/${target})
          string(APPEND violations
            "  ${relative} (${folder}) includes \"${target}\", which is not beside it\n")
        endif()
        continue()
      endif()

      list(FIND allowed "${top}" found)
      if(found EQUAL -1)
        string(APPEND violations "  ${relative} (${folder}) includes \"${target}\"\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Includes against the direction of the layers "
    "(app -> media -> disk -> records -> res -> platform; sim/, win32/ and tools/ above "
    "them; host/ for sim/, tools/ and the tests only; fuzz/campaign/ above records/):\n${violations}")
endif()
message(STATUS "Layers: every include runs downwards")

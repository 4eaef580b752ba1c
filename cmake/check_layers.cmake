# Checks that dependencies run one way: every project include of a file in a
# layer names only that layer or the layers below it.
#
#   cmake -DSOURCE_DIR=<repo> -P cmake/check_layers.cmake
#
# Layers, top to bottom: app, media, disk, records, res, platform (the port
# headers). The hosts above them (sim/, win32/), the tools
# and the tests may include anything.
set(layers app media disk records res platform)

function(allowed_below layer out)
  list(FIND layers ${layer} index)
  list(SUBLIST layers ${index} -1 below)
  set(${out} ${below} PARENT_SCOPE)
endfunction()

set(violations "")
foreach(layer IN LISTS layers)
  if(layer STREQUAL "platform")
    # The ports only: the adapters below platform/ are hosts, not a layer.
    file(GLOB files ${SOURCE_DIR}/platform/*.h ${SOURCE_DIR}/platform/*.inc)
  else()
    file(GLOB_RECURSE files ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp
      ${SOURCE_DIR}/${layer}/*.inc)
  endif()
  allowed_below(${layer} allowed)
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" target "${line}")
      string(REGEX MATCH "^[^/]+" top "${target}")
      if(NOT target MATCHES "/")
        continue()  # a file beside the includer
      endif()
      if(top STREQUAL "platform" AND target MATCHES "^platform/[^/]+/")
        set(top "platform-host")  # an adapter: above every layer
      endif()
      list(FIND allowed ${top} found)
      if(found EQUAL -1)
        file(RELATIVE_PATH relative ${SOURCE_DIR} ${file})
        string(APPEND violations "  ${relative} (${layer}) includes \"${target}\"\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Includes against the direction of the layers "
    "(app -> media -> disk -> records -> res -> platform):\n${violations}")
endif()
message(STATUS "Layers: every include runs downwards")

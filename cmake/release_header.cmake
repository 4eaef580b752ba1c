# Writes the release header that veldra, the tools and TAVEX.EXE's version
# record include: the release version and, where the build can tell, the
# commit of the source it is built from. Run at every build; the header is
# rewritten only when it changes, so nothing recompiles for an unchanged
# commit.
#
#   cmake -DSOURCE_DIR=<repo> -DVERSION=<N.NN> -DOUTPUT=<header> -P cmake/release_header.cmake
#
# The commit is `git describe --always --dirty` of SOURCE_DIR, and only when
# SOURCE_DIR is the top of its own work tree: a source tarball unpacked inside
# some other repository must not name that repository's commit. Without one,
# the header defines no VELDRA_SOURCE_COMMIT.
set(commit "")
find_program(GIT_COMMAND git)
if(GIT_COMMAND)
  execute_process(COMMAND ${GIT_COMMAND} rev-parse --show-toplevel
    WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE status
    OUTPUT_VARIABLE toplevel OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(status EQUAL 0)
    file(REAL_PATH "${toplevel}" toplevel)
    file(REAL_PATH "${SOURCE_DIR}" source)
    if(toplevel STREQUAL source)
      execute_process(COMMAND ${GIT_COMMAND} describe --always --dirty --abbrev=12
        WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE status
        OUTPUT_VARIABLE describe OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      # A tag name could hold anything; a C string may not.
      if(status EQUAL 0 AND describe MATCHES "^[A-Za-z0-9._+-]+$")
        set(commit "${describe}")
      endif()
    endif()
  endif()
endif()

set(content "// Made by cmake/release_header.cmake at build time; not in the repository.\n")
string(APPEND content "#define VELDRA_VERSION \"${VERSION}\"\n")
if(commit)
  string(APPEND content "#define VELDRA_SOURCE_COMMIT \"${commit}\"\n")
  # The version record's "Comments": one literal, as the resource compiler wants it.
  string(APPEND content "#define VELDRA_SOURCE_NOTE \"source ${commit}\"\n")
endif()
file(WRITE ${OUTPUT}.new "${content}")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)

# The release version has one home: the "ProductVersion" of TAVEX.EXE's
# version record in res/tavex.rc. The archives' names, `--version` of veldra
# and the tools, and the manual's title page all take it from there.
# Sets VELDRA_VERSION; included before project(), so it finds the record
# beside this file.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../res/tavex.rc veldra_product_version
  REGEX "^[ \t]*VALUE[ \t]+\"ProductVersion\"")
if(NOT veldra_product_version MATCHES "^[ \t]*VALUE[ \t]+\"ProductVersion\",[ \t]*\"([0-9]+\\.[0-9]+)\"[ \t]*$")
  message(FATAL_ERROR "res/tavex.rc: the version record needs one \"ProductVersion\" of the "
    "form N.NN; found: ${veldra_product_version}")
endif()
set(VELDRA_VERSION ${CMAKE_MATCH_1})
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_LIST_DIR}/../res/tavex.rc)
unset(veldra_product_version)

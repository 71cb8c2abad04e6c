# Test programs run under Wine in a prefix that belongs to this build tree.
if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_NAME STREQUAL "Windows")
  set(VARO_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run)
  set(VARO_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  # A second prefix for the tests that need the stand-in trust library in the
  # system folder (tests/support/setup-standin-prefix).
  set(VARO_STANDIN_PREFIX ${CMAKE_BINARY_DIR}/standin-prefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VARO_WINE_RUN} ${VARO_WINE_PREFIX})
endif()

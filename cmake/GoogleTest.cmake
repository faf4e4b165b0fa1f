# GoogleTest is built from source so the same version serves the native and the
# MinGW build (Debian's googletest package ships the sources).
if(NOT TARGET gtest)
  set(ZELVANE_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest source tree")
  if(NOT EXISTS ${ZELVANE_GTEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found at ${ZELVANE_GTEST_SOURCE}; set ZELVANE_GTEST_SOURCE")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${ZELVANE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(MINGW)
    target_link_options(gtest_main INTERFACE -static -static-libgcc -static-libstdc++)
  endif()
endif()
include(GoogleTest)

# zelvane_add_gtest(<name> SOURCES ... [LIBS ...] [LABELS label] [TIMEOUT s]
#                   [PROPERTIES name value ...])
# One test executable; every test case becomes one ctest test. Discovery runs
# at test time so that a MinGW build discovers its cases under Wine.
# PROPERTIES are further ctest properties of every case (RUN_SERIAL, an
# ENVIRONMENT entry; generator expressions allowed).
function(zelvane_add_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS;PROPERTIES" ${ARGN})
  # Discovery at test time passes the properties on as a flat list, where a
  # second label would be read as a property name.
  list(LENGTH ARG_LABELS label_count)
  if(label_count GREATER 1)
    message(FATAL_ERROR "zelvane_add_gtest(${name}): one label only, not ${ARG_LABELS}")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} gtest gtest_main)
  zelvane_warnings(${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}" ${ARG_PROPERTIES})
endfunction()

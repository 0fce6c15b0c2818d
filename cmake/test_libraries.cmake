# Finds what the test suite is built with: GoogleTest and the nlohmann-json parser. Without them
# the programs still build; the suite is left out, with one message naming what would add it.
# Sets TARVEL_TESTS_BUILDABLE.
set(TARVEL_TESTS_BUILDABLE ON)
set(missing)
if(WIN32 AND CMAKE_CROSSCOMPILING)
  # No GoogleTest is installed for the target: tests/ builds it from the sources that Debian's
  # googletest package puts in /usr/src/googletest.
  set(TARVEL_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build")
  if(NOT EXISTS ${TARVEL_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
    list(APPEND missing googletest)
  endif()
else()
  find_package(GTest QUIET)
  if(NOT GTest_FOUND)
    list(APPEND missing libgtest-dev)
  endif()
endif()
if(CMAKE_CROSSCOMPILING)
  # Header-only: a cross build takes the build host's copy.
  find_path(TARVEL_NLOHMANN_JSON_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
  if(NOT TARVEL_NLOHMANN_JSON_DIR)
    list(APPEND missing nlohmann-json3-dev)
  endif()
else()
  find_package(nlohmann_json 3 QUIET)
  if(NOT nlohmann_json_FOUND)
    list(APPEND missing nlohmann-json3-dev)
  endif()
endif()
if(missing)
  list(JOIN missing " " missing)
  message(STATUS "Tests left out: GoogleTest or nlohmann-json was not found "
    "(Debian and Ubuntu: apt-get install ${missing}). The programs build without them.")
  set(TARVEL_TESTS_BUILDABLE OFF)
endif()

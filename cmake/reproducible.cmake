# Builds whose output depends only on the sources: no build folder and no build time in any
# program.
if(NOT TARVEL_REPRODUCIBLE OR MSVC)
  return()
endif()

# Paths in __FILE__ and debug information are written relative to the source folder, and relative
# to the build folder where that is not inside the source folder.
set(TARVEL_PREFIX_MAPS "-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=")
cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${PROJECT_BINARY_DIR}" NORMALIZE TARVEL_BINARY_IN_SOURCE)
if(NOT TARVEL_BINARY_IN_SOURCE)
  list(APPEND TARVEL_PREFIX_MAPS "-ffile-prefix-map=${PROJECT_BINARY_DIR}/=")
endif()
foreach(map IN LISTS TARVEL_PREFIX_MAPS)
  target_compile_options(tarvel_options INTERFACE "$<$<COMPILE_LANGUAGE:CXX>:${map}>")
endforeach()

# The MinGW linker writes the link time, or SOURCE_DATE_EPOCH where that is set, into the PE
# header unless told not to.
if(WIN32)
  target_link_options(tarvel_options INTERFACE LINKER:--no-insert-timestamp)
endif()

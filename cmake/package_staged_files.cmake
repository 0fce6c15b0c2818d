# Run by CPack once it has installed what a package holds into its staging folder, before it makes
# the package (CPACK_PRE_BUILD_SCRIPTS in packaging.cmake). The folders an install creates have
# the mode the umask leaves; in a package they have the same mode whoever made it. Linux programs
# lose what CPack's stripping leaves and Debian's takes away: the compiler's .comment section and
# the .note section.
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
file(CHMOD "${CPACK_TEMPORARY_DIRECTORY}" ${staged} DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(CPACK_SYSTEM_NAME MATCHES "^windows")
  return()
endif()
foreach(file IN LISTS staged)
  cmake_path(GET file FILENAME name)
  cmake_path(GET file PARENT_PATH folder)
  cmake_path(GET folder FILENAME folder)
  list(FIND CPACK_TARVEL_PROGRAMS "${name}" program)
  # The completions for bash bear the programs' names too, in another folder.
  if(IS_DIRECTORY "${file}" OR NOT folder STREQUAL "bin" OR program EQUAL -1)
    continue()
  endif()
  execute_process(COMMAND "${CPACK_TARVEL_STRIP}" --remove-section=.comment --remove-section=.note
    --strip-unneeded "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "Stripping ${file} failed (${status})")
  endif()
endforeach()

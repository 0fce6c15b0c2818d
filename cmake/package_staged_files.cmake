# Run by CPack once it has installed what a package holds into its staging folder, before it makes
# the package (CPACK_PRE_BUILD_SCRIPTS in packaging.cmake). The folders an install creates have
# the mode the umask leaves; in a package they have the same mode whoever made it.
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
file(CHMOD "${CPACK_TEMPORARY_DIRECTORY}" ${staged} DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

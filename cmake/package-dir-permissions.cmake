# Run by CPack on its staging tree before it packs it: every directory gets
# mode 0755, whatever the umask of the build that made it.
file(GLOB_RECURSE dirs LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
list(APPEND dirs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
foreach(dir IN LISTS dirs)
  if(IS_DIRECTORY "${dir}" AND NOT IS_SYMLINK "${dir}")
    file(CHMOD "${dir}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
         GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()

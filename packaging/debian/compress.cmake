# Run by CPack on the tree it is about to pack: gzips the files CPACK_ULOCFG_GZIP_FILES names
# (relative to the install prefix) at the best compression and without the file's name and
# time, so that the same sources give the same package.
foreach(file IN LISTS CPACK_ULOCFG_GZIP_FILES)
  execute_process(
    COMMAND gzip -9n "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/${file}"
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()

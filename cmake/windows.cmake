# The Windows zip, included by the top CMakeLists.txt in a mingw-w64 build
# (cmake/mingw-w64.cmake): the program src/app/CMakeLists.txt defines (ulocfg.exe), the
# README with the documents it links, the licence, the page on ulocfg for Windows users
# (packaging/windows/ulocfg.txt) and the example image, in
# build-windows/ulocfg-VERSION-win64.zip (tools/package windows).

install(TARGETS ulocfg RUNTIME DESTINATION .)

# The text files with Windows line breaks, as Notepad and every Windows editor show them. The
# example image keeps the bytes the device's tool writes; ulocfg reads either.
set(windows_texts README.md:. LICENSE:. packaging/windows/ulocfg.txt:. docs/json.md:docs
                  completions/ulocfg.ps1:.) # the last: PowerShell's Tab completion
foreach(entry ${windows_texts})
  string(REPLACE ":" ";" entry ${entry})
  list(GET entry 0 source)
  list(GET entry 1 folder)
  get_filename_component(name ${source} NAME)
  set(text ${CMAKE_CURRENT_BINARY_DIR}/crlf/${folder}/${name})
  add_custom_command(OUTPUT ${text}
    COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/${source} -DOUT=${text}
            -P ${PROJECT_SOURCE_DIR}/packaging/windows/crlf.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/${source} ${PROJECT_SOURCE_DIR}/packaging/windows/crlf.cmake
    VERBATIM)
  list(APPEND crlf_texts ${text})
  install(FILES ${text} DESTINATION ${folder})
endforeach()
add_custom_target(windows_texts ALL DEPENDS ${crlf_texts})
install(FILES examples/ulo.txt DESTINATION examples)

set(CPACK_PACKAGE_NAME ulocfg)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME ulocfg-${PROJECT_VERSION}-win64)
set(CPACK_STRIP_FILES ON)
include(CPack)

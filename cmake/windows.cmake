# The Windows zip, included by the top CMakeLists.txt in a mingw-w64 build
# (cmake/mingw-w64.cmake): the program src/app/CMakeLists.txt defines (ulocfg.exe), the
# README, the licence, the example image and the manual page as plain text, in
# build-windows/ulocfg-VERSION-win64.zip (tools/package windows).

# The manual page as a reader without man sees it: formatted for 80 columns, no overstrikes.
find_program(ULOCFG_GROFF groff REQUIRED)
set(manual_text ${CMAKE_CURRENT_BINARY_DIR}/ulocfg.txt)
add_custom_command(OUTPUT ${manual_text}
  COMMAND ${ULOCFG_GROFF} -man -Tutf8 -P-cbou -rLL=78n ${PROJECT_SOURCE_DIR}/docs/ulocfg.1
          > ${manual_text}
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/ulocfg.1 VERBATIM)
add_custom_target(manual_text ALL DEPENDS ${manual_text})

install(TARGETS ulocfg RUNTIME DESTINATION .)
install(FILES README.md LICENSE DESTINATION .)
install(FILES completions/ulocfg.ps1 DESTINATION .) # PowerShell's Tab completion
install(FILES ${manual_text} DESTINATION .)
install(FILES examples/ulo.txt DESTINATION examples)

set(CPACK_PACKAGE_NAME ulocfg)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME ulocfg-${PROJECT_VERSION}-win64)
set(CPACK_STRIP_FILES ON)
include(CPack)

# Run by ctest as `cmake -DSOURCE=<src folder> -P layers_check.cmake`. The compiler already
# refuses a layer's include of a layer above it in every source it compiles; this also looks
# at headers no source of their own layer includes, and at paths that climb out of a folder.
# It checks as well that the operating system stays at the edges: only files named *_posix.*
# or *_windows.* include a POSIX, curses or Windows header.
cmake_minimum_required(VERSION 3.25)
set(below_eeprom "")
set(below_console "")
set(below_screen console eeprom)
set(below_editor screen console eeprom)
set(below_app editor screen console eeprom)
set(system_headers unistd fcntl termios poll signal csignal curses ncurses langinfo strings wchar
                   dirent pwd grp dlfcn pthread
                   windows winbase wincon shellapi io direct aclapi sddl accctrl bcrypt)

set(faults "")
foreach(layer eeprom console screen editor app)
  file(GLOB files ${SOURCE}/${layer}/*.hpp ${SOURCE}/${layer}/*.cpp)
  foreach(file ${files})
    get_filename_component(file_name ${file} NAME)
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${lines})
      if(line MATCHES "#[ \t]*include[ \t]*\"([^\"/]*)/")
        set(folder ${CMAKE_MATCH_1})
        if(NOT folder STREQUAL layer AND NOT folder IN_LIST below_${layer})
          list(APPEND faults "${layer}/${file_name}: ${line}")
        endif()
      endif()
      if(file_name MATCHES "_(posix|windows)\\.")
        continue()
      endif()
      if(line MATCHES "#[ \t]*include[ \t]*<([a-z]+)[./>]")
        if(CMAKE_MATCH_1 IN_LIST system_headers OR CMAKE_MATCH_1 STREQUAL "sys")
          list(APPEND faults "${layer}/${file_name}: ${line}")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Includes out of place:\n  ${text}")
endif()

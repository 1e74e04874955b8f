# The program is built in layers, one static library per folder of src/: eeprom at the bottom,
# then console, screen, editor and app. A layer reaches the headers of its own folder and of
# the layers it links, and no others, so that an include of a layer above fails to compile.
#
# Each layer's headers are reachable only through an include root of its own in the build
# folder, which holds one forwarding header per header of the folder:
# <build>/layers/eeprom/eeprom/file.hpp includes src/eeprom/file.hpp. The root is a PUBLIC
# include directory of the layer, so it reaches exactly the targets that link the layer.
# src/ itself is on no include path.

# The operating system's side of each layer is in files named *_posix.cpp on Linux and
# *_windows.cpp on Windows; ULOCFG_PLATFORM says which of the two a build takes.
if(WIN32)
  set(ULOCFG_PLATFORM windows)
else()
  set(ULOCFG_PLATFORM posix)
endif()

# ulocfg_layer(NAME SOURCES...): the library of src/NAME, from sources in the calling folder.
function(ulocfg_layer name)
  add_library(${name} STATIC ${ARGN})
  set(root ${PROJECT_BINARY_DIR}/layers/${name})
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.hpp)
  foreach(header ${headers})
    get_filename_component(file_name ${header} NAME)
    # Written only when it changes, so that the build does not recompile for nothing.
    file(CONFIGURE OUTPUT ${root}/${name}/${file_name}
         CONTENT "// Generated: the ${name} layer's ${file_name} for the layers above it.\n#pragma once\n#include \"${header}\"\n"
         @ONLY)
  endforeach()
  target_include_directories(${name} PUBLIC ${root})
endfunction()

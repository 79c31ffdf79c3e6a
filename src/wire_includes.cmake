# Fails when a file of CHECKED includes a header of core/ (CORE_DIR) that is not one of the
# wire layer's (WIRE_FILES): the wire layer and the simulator use nothing of the console.
#   cmake -DCORE_DIR=... "-DWIRE_FILES=a;b" "-DCHECKED=x;y" -P wire_includes.cmake
cmake_minimum_required(VERSION 3.25)
set(found "")
foreach(file IN LISTS CHECKED)
  file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" header "${line}")
    set(path "${CORE_DIR}/${header}")
    if(EXISTS "${path}" AND NOT path IN_LIST WIRE_FILES)
      string(APPEND found "\n  ${file}: ${header}")
    endif()
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "Headers of the console outside the wire layer:${found}")
endif()

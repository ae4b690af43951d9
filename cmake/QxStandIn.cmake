# A stand-in for a library from outside the system: "name.dll" on Windows,
# "libname.so" here, placed beside the programs.
function(qx_stand_in_library target)
  cmake_parse_arguments(arg "" "DEF" "SOURCES" ${ARGN})
  if(WIN32)
    add_library(${target} SHARED ${arg_SOURCES} ${arg_DEF})
    set_target_properties(${target} PROPERTIES PREFIX "")
  else()
    add_library(${target} SHARED ${arg_SOURCES})
  endif()
  target_link_libraries(${target} PRIVATE platform)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/peers/common)
endfunction()

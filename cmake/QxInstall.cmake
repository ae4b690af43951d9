# Installation, the CMake package `zorv` (find_package(zorv CONFIG) gives the
# targets zorv::<name>), a pkg-config file and the Debian and zip packages.
# Included at the end of the top-level CMakeLists, when every target exists.
include(CMakePackageConfigHelpers)

set(QX_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/zorv)
set(QX_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/zorv)

# The libraries users link, in link order (a library before what it uses);
# those not built in this tree are skipped.
set(qx_library_candidates zorvClient infodriver client wm32 config check platform)
set(qx_libraries)
foreach(target ${qx_library_candidates})
  if(TARGET ${target})
    list(APPEND qx_libraries ${target})
  endif()
endforeach()

# Installed library files carry the project's name: libzorv-client.a, ...
foreach(target ${qx_libraries})
  if(NOT target STREQUAL "zorvClient")
    set_target_properties(${target} PROPERTIES OUTPUT_NAME zorv-${target})
  endif()
endforeach()

# The public headers are C++20: every library asks it of whoever uses it, so
# that a project built against the package needs no standard setting.
foreach(target ${qx_libraries})
  target_compile_features(${target} INTERFACE cxx_std_20)
endforeach()

# Every header of a library's public include directories goes to
# include/zorv; the exported targets look there instead of in the sources.
foreach(target ${qx_libraries})
  get_target_property(directories ${target} INTERFACE_INCLUDE_DIRECTORIES)
  set(build_directories)
  foreach(directory ${directories})
    if(directory MATCHES "^\\$<")  # already a generator expression
      list(APPEND build_directories "${directory}")
      continue()
    endif()
    list(APPEND build_directories "$<BUILD_INTERFACE:${directory}>")
    install(DIRECTORY ${directory}/ DESTINATION ${QX_INSTALL_INCLUDEDIR} COMPONENT development
            FILES_MATCHING PATTERN "*.h" PATTERN "iniFile.h" EXCLUDE)
  endforeach()
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES
                                             "${build_directories};$<INSTALL_INTERFACE:${QX_INSTALL_INCLUDEDIR}>")
endforeach()

install(TARGETS ${qx_libraries} EXPORT zorvTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(EXPORT zorvTargets NAMESPACE zorv:: DESTINATION ${QX_INSTALL_CMAKEDIR} COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/zorvConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/zorvConfig.cmake INSTALL_DESTINATION ${QX_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/zorvConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/zorvConfig.cmake ${CMAKE_BINARY_DIR}/zorvConfigVersion.cmake
        DESTINATION ${QX_INSTALL_CMAKEDIR} COMPONENT development)

# pkg-config: the static libraries in link order, then what they need.
set(QX_PC_LIBS "")
foreach(target ${qx_libraries})
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  string(APPEND QX_PC_LIBS " -l${name}")
endforeach()
if(WIN32)
  string(APPEND QX_PC_LIBS " -luser32 -lkernel32")
else()
  string(APPEND QX_PC_LIBS " -pthread")
endif()
# Relocatable: the prefix is found from where the .pc file lies.
file(RELATIVE_PATH QX_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(${CMAKE_CURRENT_LIST_DIR}/zorv.pc.in ${CMAKE_BINARY_DIR}/zorv.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/zorv.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# The programs and the stand-ins: the hub, the infodriver host, the
# command-line client, the demo, and the loader and interface libraries
# that the client loads by name at run time.
foreach(target orq-hub infodriver-host zorvctl zorv-demo halvik zorvif32 tessil32)
  if(TARGET ${target})
    install(TARGETS ${target}
            ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
            LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
            RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  endif()
endforeach()
# The sample facilities: the small one the demo uses, and a studio.
foreach(sample facility facility-studio)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/peers/orq/${sample}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/zorv/${sample}
          COMPONENT runtime)
endforeach()

# Packages: `cpack -G DEB` (Linux) and `cpack -G ZIP` (the Windows build).
set(CPACK_PACKAGE_NAME zorv)
set(CPACK_PACKAGE_VENDOR "zorv")
set(CPACK_PACKAGE_CONTACT "zorv developers <zorv@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Client library for a broadcast-facility control network, with a hub and infodriver simulator")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME "zorv-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)  # executables and shared libraries only
include(CPack)

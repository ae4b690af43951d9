# qx_add_test(target [gtest_discover_tests options...])
# Registers each GoogleTest case of a test program as its own CTest test. The
# cases are listed when the tests run, so that a cross build lists them
# through the toolchain's emulator (Wine) on the test machine; Wine's first
# start in a fresh prefix is slow, hence the long discovery timeout. On POSIX
# hosts each test program runs in a window session of its own. Each case is
# labelled with its folder under tests/ (platform, client, ...), so that a
# tree that builds only some test programs runs just theirs (ctest -L).
function(qx_add_test target)
  if(NOT WIN32)
    target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/privateSession.cpp)
  endif()
  cmake_parse_arguments(arg "" "" "PROPERTIES" ${ARGN})
  get_filename_component(area ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 ${arg_UNPARSED_ARGUMENTS}
                       PROPERTIES LABELS ${area} ${arg_PROPERTIES})
endfunction()

# A window session of its own for a test that runs a program directly, named
# after the build tree, so that build trees tested side by side never meet.
function(qx_private_session test)
  string(MD5 tree "${CMAKE_BINARY_DIR}")
  string(SUBSTRING "${tree}" 0 12 tree)
  set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT "QX_SESSION=test-${tree}-${test}")
endfunction()

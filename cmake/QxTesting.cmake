# qx_add_test(target [gtest_discover_tests options...])
# Registers each GoogleTest case of a test program as its own CTest test. The
# cases are listed when the tests run, so that a cross build lists them
# through the toolchain's emulator (Wine) on the test machine; Wine's first
# start in a fresh prefix is slow, hence the long discovery timeout. On POSIX
# hosts each test program runs in a window session of its own.
function(qx_add_test target)
  if(NOT WIN32)
    target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/privateSession.cpp)
  endif()
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 ${ARGN})
endfunction()

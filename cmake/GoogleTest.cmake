# GoogleTest cross-built from the sources Debian ships in the googletest package.
set(TANDREL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${TANDREL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# One CTest entry per test program; each program runs all of its cases under
# Wine and reports them through GoogleTest's own summary. A case that crashes
# the program ends only itself: run-gtest starts the program again on the
# cases after it (a Wine start-up per case would cost minutes).
function(tandrel_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest_main)
  target_link_options(${name} PRIVATE -static)
  add_test(NAME ${name}
    COMMAND python3 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/run-gtest
            ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${name}> --gtest_color=no)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
endfunction()

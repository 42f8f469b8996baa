# GoogleTest from Debian's source package, built with our compiler (native or mingw).
function(orvan_add_googletest)
  if(TARGET gtest)
    return()
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endfunction()

# A library or program of ours: warnings are errors.
function(orvan_target_defaults target)
  target_compile_options(${target} PRIVATE ${ORVAN_WARNINGS})
endfunction()

# A GoogleTest program registered with ctest; on win32 ctest runs it under Wine.
function(orvan_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  orvan_add_googletest()
  add_executable(${name} ${ARG_SOURCES})
  orvan_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} gtest gtest_main)
  add_test(NAME ${name} COMMAND ${name})
endfunction()

# Code that goes into the stub: no exceptions or RTTI, so none of their run-time support is linked.
function(orvan_stub_code target)
  if(ORVAN_TARGET STREQUAL "win32")
    target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables)
  endif()
endfunction()

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
  get_target_property(type ${target} TYPE)
  if(ORVAN_TARGET STREQUAL "win32" AND (type STREQUAL "EXECUTABLE" OR type STREQUAL "SHARED_LIBRARY"))
    orvan_version_resource(${target})
  endif()
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

# Code built without the C++ library's exception machinery.
set(ORVAN_NO_EXCEPTIONS -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables)

# Code that goes into the stub: no exceptions or RTTI, so none of their run-time support is linked,
# no frame pointers (about 1 KB of the stub), and the compiler's smallest code (-Oz: 336 bytes
# less than -Os; nothing here is a hot loop of its own, the CRC's folding keeps its shape). Its
# objects also carry link-time optimisation data, which the stub's link uses (about 1.5 KB);
# other programs link their plain code.
function(orvan_stub_code target)
  if(ORVAN_TARGET STREQUAL "win32")
    target_compile_options(${target} PRIVATE ${ORVAN_NO_EXCEPTIONS} -fomit-frame-pointer -Oz -flto -ffat-lto-objects)
  endif()
endfunction()

# Version resource and icon of every Windows program and library we build. The description is
# the target's ORVAN_DESCRIPTION property (no commas), else its file's base name.
function(orvan_version_resource target)
  set(numbers "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  set(t "${target}")
  set(description "$<IF:$<BOOL:$<TARGET_PROPERTY:${t},ORVAN_DESCRIPTION>>,$<TARGET_PROPERTY:${t},ORVAN_DESCRIPTION>,$<TARGET_FILE_BASE_NAME:${t}>>")
  set(type "$<IF:$<STREQUAL:$<TARGET_PROPERTY:${t},TYPE>,SHARED_LIBRARY>,VFT_DLL,VFT_APP>")
  # The package forms a stub decodes beyond the plain ones, for the packer to check.
  get_target_property(forms ${target} ORVAN_PACKAGE_FORMS)
  set(forms_value "")
  if(forms)
    set(forms_value "\n      VALUE \"PackageForms\", \"${forms}\"")
  endif()
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}.version.rc")
  file(GENERATE OUTPUT "${rc}" CONTENT "#include <windows.h>
1 ICON \"${CMAKE_SOURCE_DIR}/ui/Orvan3D.ico\"
1 VERSIONINFO
FILEVERSION ${numbers}
PRODUCTVERSION ${numbers}
FILEFLAGSMASK 0x3F
FILEFLAGS 0
FILEOS VOS_NT_WINDOWS32
FILETYPE ${type}
FILESUBTYPE 0
BEGIN
  BLOCK \"StringFileInfo\"
  BEGIN
    BLOCK \"040904B0\"
    BEGIN
      VALUE \"ProductName\", \"Orvan3D\"
      VALUE \"FileDescription\", \"${description}\"
      VALUE \"FileVersion\", \"${PROJECT_VERSION}.0\"
      VALUE \"ProductVersion\", \"${PROJECT_VERSION}\"
      VALUE \"InternalName\", \"$<TARGET_FILE_BASE_NAME:${t}>\"
      VALUE \"OriginalFilename\", \"$<TARGET_FILE_NAME:${t}>\"${forms_value}
    END
  END
  BLOCK \"VarFileInfo\"
  BEGIN
    VALUE \"Translation\", 0x409, 1200
  END
END
")
  target_sources(${target} PRIVATE "${rc}")
  set_property(SOURCE "${rc}" APPEND PROPERTY OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/ui/Orvan3D.ico)
endfunction()

# The stub's application manifest, asking Windows for the given execution level
# (asInvoker or requireAdministrator) so that it never guesses from the file name.
function(orvan_stub_manifest target level)
  set(ORVAN_EXECUTION_LEVEL "${level}")
  set(ORVAN_VERSION4 "${PROJECT_VERSION}.0")
  set(manifest "${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest")
  # Embedded without its indentation: every byte counts in the stub.
  file(READ ${CMAKE_SOURCE_DIR}/cmake/Orvan3DExe.manifest.in text)
  string(CONFIGURE "${text}" text @ONLY)
  string(REGEX REPLACE ">[\r\n ]+<" "><" text "${text}")
  string(REGEX REPLACE "[\r\n]+ +" " " text "${text}")
  file(CONFIGURE OUTPUT "${manifest}" CONTENT "${text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/Orvan3DExe.manifest.in)
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest.rc")
  # 1 and 24: the process manifest's id and the manifest resource type.
  file(WRITE "${rc}.in" "1 24 \"${manifest}\"\n")
  configure_file("${rc}.in" "${rc}" COPYONLY)
  target_sources(${target} PRIVATE "${rc}")
  set_property(SOURCE "${rc}" APPEND PROPERTY OBJECT_DEPENDS "${manifest}")
endfunction()

# The programs a package carries besides the stub catch no exception: built without the C++
# library's exception machinery (orvan_no_throw_runtime ends the process where the library
# would throw). The library's string code is compiled in, with its assertions, rather than
# taken from its prebuilt copy, which brings that machinery back.
function(orvan_shipped_code target)
  if(ORVAN_TARGET STREQUAL "win32")
    target_compile_options(${target} PRIVATE ${ORVAN_NO_EXCEPTIONS})
    target_compile_definitions(${target} PRIVATE _GLIBCXX_ASSERTIONS)
  endif()
endfunction()

# The same for one source file of a library that other, exception-using code shares.
function(orvan_shipped_source file)
  if(ORVAN_TARGET STREQUAL "win32")
    set_source_files_properties(${file} PROPERTIES COMPILE_OPTIONS "${ORVAN_NO_EXCEPTIONS}"
                                COMPILE_DEFINITIONS _GLIBCXX_ASSERTIONS)
  endif()
endfunction()

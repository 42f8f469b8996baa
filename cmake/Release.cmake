# The release bundle: what an author needs to pack projects, and nothing else of the build
# (no test programs). `cmake --install <build> --prefix <folder>` lays it out, `cpack` in the
# build folder archives it:
#   the Windows build: Orvan3D-<version>-win32.zip, with orvanpack.exe;
#   the Linux build:   Orvan3D-<version>-linux-x86_64.tar.gz, with orvanpack; the components
#                      come from the Windows build (ORVAN_COMPONENTS_DIR).
# Both hold bin\ (the packer beside the stubs and components, where `orvanpack init` finds
# them), README.md and orvanpack-README.md.
set(ORVAN_COMPONENT_FILES
  Orvan3DExe.exe Orvan3DExeAdmin.exe OrvanViewer.exe ZRXUnInst.exe ZRXUnInstUser.exe ZRXSvr.scr WinAmp.dll
  EngineCore.dll)

if(ORVAN_TARGET STREQUAL "win32")
  set(components_dir ${CMAKE_BINARY_DIR}/bin)
  set(system win32)
  set(generator ZIP)
else()
  set(ORVAN_COMPONENTS_DIR ${CMAKE_SOURCE_DIR}/build/win32/bin CACHE PATH
      "The Windows build's bin folder, whose components the Linux release bundle carries")
  set(components_dir ${ORVAN_COMPONENTS_DIR})
  set(system linux-x86_64)
  set(generator TGZ)
  # The Windows build makes the components: a bundle without them would pack nothing.
  install(CODE "if(NOT EXISTS \"${components_dir}/Orvan3DExe.exe\")
    message(FATAL_ERROR \"no components in ${components_dir}: build the win32 preset first\")
  endif()")
endif()
if(TARGET orvanpack)
  install(TARGETS orvanpack RUNTIME DESTINATION bin)
endif()
foreach(file ${ORVAN_COMPONENT_FILES})
  install(FILES ${components_dir}/${file} DESTINATION bin)
endforeach()
install(DIRECTORY ${components_dir}/channels ${components_dir}/3rd DESTINATION bin)
install(FILES README.md DESTINATION .)
install(FILES tools/orvanpack/README.md DESTINATION . RENAME orvanpack-README.md)

set(CPACK_PACKAGE_NAME Orvan3D)
set(CPACK_PACKAGE_VENDOR Velbor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR ${generator})
set(CPACK_PACKAGE_FILE_NAME Orvan3D-${PROJECT_VERSION}-${system})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# The packer is built with its symbols; the components are stripped when linked.
set(CPACK_STRIP_FILES bin/orvanpack${CMAKE_EXECUTABLE_SUFFIX})
include(CPack)

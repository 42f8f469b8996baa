# The LZMA SDK's C sources as Debian's lzma-dev installs them, compiled as they are (never copied
# or changed): the decoder for the stub and the tools, the encoder for the packer and the tests.
# Third-party code: our warning flags do not apply. Single-threaded (_7ZIP_ST): the packer runs
# several encoders at once, one per block, so the output never depends on threads.
set(ORVAN_LZMA_DIR /usr/include/lzma CACHE PATH "Folder of the LZMA SDK's C sources (LzmaDec.c, LzmaEnc.c, LzFind.c)")
if(NOT EXISTS ${ORVAN_LZMA_DIR}/LzmaDec.c OR NOT EXISTS ${ORVAN_LZMA_DIR}/LzmaEnc.c OR NOT EXISTS ${ORVAN_LZMA_DIR}/LzFind.c)
  message(FATAL_ERROR "the LZMA SDK's C sources are not in ${ORVAN_LZMA_DIR}: install Debian's lzma-dev (scripts/bootstrap.sh)")
endif()

add_library(orvan_lzma_decoder STATIC ${ORVAN_LZMA_DIR}/LzmaDec.c)
target_include_directories(orvan_lzma_decoder SYSTEM PUBLIC ${ORVAN_LZMA_DIR})
target_compile_definitions(orvan_lzma_decoder PUBLIC _7ZIP_ST)

add_library(orvan_lzma_encoder STATIC ${ORVAN_LZMA_DIR}/LzmaEnc.c ${ORVAN_LZMA_DIR}/LzFind.c)
target_include_directories(orvan_lzma_encoder SYSTEM PUBLIC ${ORVAN_LZMA_DIR})
target_compile_definitions(orvan_lzma_encoder PUBLIC _7ZIP_ST)
# The packer's speed is the encoder's: optimised in every build type, the Windows one included.
target_compile_options(orvan_lzma_encoder PRIVATE -O2)

# In the stub: no unwind tables (nothing unwinds through C code here), the SDK's smaller form of
# its bit-tree loops (512 bytes less; the decoding thread hides its cost behind the writes), and
# link-time optimisation with the stub's own code.
if(ORVAN_TARGET STREQUAL "win32")
  target_compile_options(orvan_lzma_decoder PRIVATE -fno-asynchronous-unwind-tables -fomit-frame-pointer -D_LZMA_SIZE_OPT -flto -ffat-lto-objects)
endif()

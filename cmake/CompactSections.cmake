# The linker's own script with four sections fewer, for the stub every package carries: the C
# run-time's start-up and exit tables (.CRT) move to the end of the read-only data, the TLS
# template (.tls) to a .data section of its own, and the writable data behind the import
# tables (.idata). Each would otherwise fill a 512-byte block of the file for a few dozen
# bytes (the stub's writable data is a few words). The TLS template stays first in its
# section, where the TLS offsets the compiler emits expect it; the import tables stay first in
# theirs, where the linker points the import directory. The unwind tables (.eh_frame) are
# dropped: nothing in the stub unwinds, and its own start-up registers none. Made from
# `ld --verbose` at configure time, so it follows the installed binutils; where the script
# does not have the expected shape, nothing changes.
function(orvan_compact_sections target)
  if(NOT ORVAN_TARGET STREQUAL "win32")
    return()
  endif()
  set(script "${CMAKE_BINARY_DIR}/compact-sections.ld")
  # Made once per configuration (both stubs use it), anew each time: the rules below may change.
  get_property(made GLOBAL PROPERTY ORVAN_COMPACT_SECTIONS)
  if(made STREQUAL "no")
    return()
  elseif(NOT made)
    set_property(GLOBAL PROPERTY ORVAN_COMPACT_SECTIONS "no")
    execute_process(COMMAND ${CMAKE_LINKER} --verbose OUTPUT_VARIABLE verbose RESULT_VARIABLE failed)
    string(FIND "${verbose}" "==================================================\n" first)
    string(FIND "${verbose}" "\n==================================================" last REVERSE)
    if(failed OR first LESS 0 OR last LESS_EQUAL first)
      message(STATUS "stub: the linker shows no default script; sections left as they are")
      return()
    endif()
    math(EXPR begin "${first} + 51")
    math(EXPR length "${last} - ${begin}")
    string(SUBSTRING "${verbose}" ${begin} ${length} text)
    set(crt_rule "  \\.CRT BLOCK\\(__section_alignment__\\) :\n  {\n([^}]*)}\n")
    set(tls_rule "  /\\* Windows TLS expects[^*]*\\*/\n  \\.tls BLOCK\\(__section_alignment__\\) :\n  {\n([^}]*)}\n")
    set(rdata_rule "(  \\.rdata BLOCK\\(__section_alignment__\\) :\n  {\n[^}]*)}\n")
    set(data_rule "  \\.data BLOCK\\(__section_alignment__\\) :\n  {\n([^}]*)  }\n")
    set(idata_rule "(  \\.idata BLOCK\\(__section_alignment__\\) :\n  {\n[^}]*)}\n")
    set(eh_rule "  \\.eh_frame BLOCK\\(__section_alignment__\\) :\n  {\n    KEEP\\(\\*\\(\\.eh_frame\\*\\)\\)\n  }\n")
    # Each rule as expected, and its body (for .rdata and .idata: the rule up to its end).
    foreach(rule crt tls rdata data idata eh)
      if(NOT text MATCHES "${${rule}_rule}")
        message(STATUS "stub: unexpected ${rule} rule in the linker's script; sections left as they are")
        return()
      endif()
      set(${rule} "${CMAKE_MATCH_1}")
    endforeach()
    string(APPEND crt "    KEEP (*(SORT(.CRT$XD*)))\n")
    # The C run-time's and zlib's unwind tables (4.4 KB).
    string(REGEX REPLACE "${eh_rule}" "  /DISCARD/ :\n  {\n    *(.eh_frame*)\n  }\n" text "${text}")
    string(REGEX REPLACE "${crt_rule}" "" text "${text}")
    string(REGEX REPLACE "${tls_rule}" "" text "${text}")
    string(REGEX REPLACE "${data_rule}" "  .data BLOCK(__section_alignment__) :\n  {\n${tls}  }\n" text "${text}")
    string(REGEX REPLACE "${idata_rule}" "\\1${data}  }\n" text "${text}")
    string(REGEX REPLACE "${rdata_rule}" "\\1${crt}  }\n" text "${text}")
    # Written only when it changed, so that configuring again relinks nothing.
    set(old "")
    if(EXISTS "${script}")
      file(READ "${script}" old)
    endif()
    if(NOT old STREQUAL text)
      file(WRITE "${script}" "${text}")
    endif()
    set_property(GLOBAL PROPERTY ORVAN_COMPACT_SECTIONS "yes")
  endif()
  target_link_options(${target} PRIVATE "-Wl,-T,${script}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${script}")
endfunction()

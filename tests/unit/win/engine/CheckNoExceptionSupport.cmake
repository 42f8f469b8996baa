# Fails when a library carries the C++ library's exception support, found by the text of its
# terminate handler, which comes with it: about 235 KB of every engine library, which every
# package carries. The engine's failures are results, from allocations that do not throw.
# Run with -DFILES=a;b;...
foreach(file IN LISTS FILES)
  file(STRINGS ${file} found LIMIT_COUNT 1 REGEX "terminate called")
  if(found)
    message(FATAL_ERROR "${file} carries the C++ library's exception support")
  endif()
endforeach()

# Fails when a program or library a package carries has the C++ library's exception support,
# found by the text of its terminate handler, which comes with it: 120-235 KB of each, in every
# package. The engine's failures are results, from allocations that do not throw; the other
# programs end where the library would throw.
# Run with -DFILES=a;b;...
foreach(file IN LISTS FILES)
  file(STRINGS ${file} found LIMIT_COUNT 1 REGEX "terminate called")
  if(found)
    message(FATAL_ERROR "${file} carries the C++ library's exception support")
  endif()
endforeach()

# How a module (a Max external) is linked in a macOS slice, read after
# CMake's own rules for Darwin (cmake/macos-slice.cmake): by ld64.lld alone,
# as an MH_BUNDLE for macOS 11 (minimum and SDK version both 11.0), dead
# code removed, signed ad hoc by the linker.  Every arm64 binary must carry
# a signature, and nothing may change a binary once it is signed, so the
# signature is the linker's and the debug information is left out here
# (-S) rather than stripped afterwards.  What it exports, the names it
# leaves to Max and the libraries come with the target (slice.cmake).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "arm64")
  set(_maxad_arch arm64)
else()
  set(_maxad_arch x86_64)
endif()
set(CMAKE_CXX_CREATE_SHARED_MODULE
  "<CMAKE_LINKER> -arch ${_maxad_arch} -platform_version macos 11.0 11.0 -bundle -dead_strip -adhoc_codesign <LINK_FLAGS> -o <TARGET> <OBJECTS> <LINK_LIBRARIES>")

# One processor's slice of the macOS externals (cmake/macos-slice.cmake):
# what linking a bundle's executable needs, found when the slice is
# configured, and maxad_macos_link(), which the externals' definition
# (host/max/CMakeLists.txt) calls for each.

# The C++ runtime Zig builds for the target, linked into each external: a
# first C++ link through zig builds libc++, libc++abi and compiler-rt into
# Zig's cache (a minute per processor, then cached), and its verbose
# output names them.  libSystem comes as Zig's stub of macOS 11's.
set(probe_dir ${CMAKE_BINARY_DIR}/zig-runtime)
file(MAKE_DIRECTORY ${probe_dir})
# A source of its own each time, so that zig links it again (and prints
# the libraries) rather than taking the program from its cache.
string(RANDOM LENGTH 16 nonce)
file(WRITE ${probe_dir}/probe.cpp "// ${nonce}\n"
  "#include <string>\nint main(int argc, char **) { return static_cast<int>(std::to_string(argc).size()); }\n")
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -v probe.cpp -o probe
  WORKING_DIRECTORY ${probe_dir} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "linking a C++ program with ${CMAKE_CXX_COMPILER} failed:\n${out}")
endif()
set(runtime "")
foreach(lib compiler_rt c++abi c++)
  string(REPLACE "+" "\\+" lib_re "${lib}")
  if(NOT out MATCHES "[ \n]([^ \n]*/lib${lib_re}\\.a)[ \n]")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} -v names no lib${lib}.a:\n${out}")
  endif()
  list(APPEND runtime ${CMAKE_MATCH_1})
endforeach()
execute_process(COMMAND ${MAXHOST_ZIG} env OUTPUT_VARIABLE zig_env RESULT_VARIABLE rc)
string(JSON zig_lib ERROR_VARIABLE err GET "${zig_env}" lib_dir)
if(NOT rc EQUAL 0 OR err OR NOT EXISTS ${zig_lib}/libc/darwin/libSystem.11.tbd)
  message(FATAL_ERROR "${MAXHOST_ZIG} env gives no lib_dir holding libc/darwin/libSystem.11.tbd")
endif()
set(MAXAD_MAC_LIBSYSTEM ${zig_lib}/libc/darwin/libSystem.11.tbd CACHE INTERNAL "")
set(MAXAD_MAC_RUNTIME "${runtime}" CACHE INTERNAL "")

# Max's API is never linked: each of its names is left to be found in Max
# when it loads the bundle, one -U per name of the SDK's own list, as the
# SDK's build does.  A name outside the list still fails the link, which
# -undefined dynamic_lookup would hide until Max loads the external.
set(flags_file ${MAXAD_SDK_DIR}/max-includes/c74_linker_flags.txt)
file(READ ${flags_file} flags)
string(REGEX MATCHALL "-Wl,-U,_[A-Za-z0-9_]+" names "${flags}")
list(TRANSFORM names REPLACE "^-Wl,-U," "-U ")
list(REMOVE_DUPLICATES names)
list(JOIN names "\n" names)
set(MAXAD_MAC_UNDEFINED ${CMAKE_BINARY_DIR}/max-undefined.rsp CACHE INTERNAL "")
file(CONFIGURE OUTPUT ${MAXAD_MAC_UNDEFINED} CONTENT "${names}\n" @ONLY)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${flags_file})

# maxad_macos_link(TARGET OBJECTS): links TARGET, a MODULE, as a bundle's
# executable exporting ext_main alone; MSP's names bind to the SDK's
# MaxAudioAPI.framework stub, the C++ runtime goes inside.  OBJECTS (the
# plug-in's objects and archives, separated by |) are checked for a Max
# API name left unrenamed, which would bind to Max's function of that name.
function(maxad_macos_link target objects)
  target_link_options(${target} PRIVATE
    "SHELL:-exported_symbol _ext_main" "@${MAXAD_MAC_UNDEFINED}"
    "SHELL:-F ${MAXAD_SDK_DIR}/msp-includes" "SHELL:-framework MaxAudioAPI")
  if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    target_link_options(${target} PRIVATE -S)
  endif()
  target_link_libraries(${target} PRIVATE ${MAXAD_MAC_RUNTIME} ${MAXAD_MAC_LIBSYSTEM})
  set_target_properties(${target} PROPERTIES SUFFIX "" LINK_DEPENDS ${MAXAD_MAC_UNDEFINED})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND}
      -DMODULE=$<TARGET_FILE:${target}>
      -DNAMES=${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../../hostcommon/api_names.h
      "-DOBJECTS=${objects}"
      -DNM=${CMAKE_NM}
      -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/check_objects.cmake
    VERBATIM)
endfunction()

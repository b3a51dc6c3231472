# The macOS externals as universal bundles (cmake/macos-universal.cmake):
# each processor's slice is built by a build of its own
# (cmake/macos-slice.cmake) from the same sources and adapter as the
# Windows externals, then the slices are joined with llvm-lipo into
#
#   max-package/tessel-brindle/externals/CLASS.mxo/
#     Contents/MacOS/CLASS     x86_64 + arm64, each slice signed ad hoc
#     Contents/Info.plist      the SDK's template, filled in
#     Contents/PkgInfo         iLaX????
#
# and each bundle is checked (check_bundle.py), removed when a check fails.
# When Pd's headers are installed (puredata-dev), the Pd externals too:
#
#   pd/CLASS.pd_darwin         x86_64 + arm64, each slice signed ad hoc,
#                              checked against Pd's headers
#   tessel~-vVERSION-(Darwin-amd64-32)(Darwin-arm64-32)-externals.zip
#                              their deken archive (target deken)
include(ExternalProject)
include(${PROJECT_SOURCE_DIR}/host/pd/deken.cmake)
include(${PROJECT_SOURCE_DIR}/host/pd/pd_names.cmake)

include(${PROJECT_SOURCE_DIR}/cmake/zig.cmake)
execute_process(COMMAND ${MAXHOST_ZIG} env OUTPUT_VARIABLE zig_env RESULT_VARIABLE rc)
string(JSON zig_lib ERROR_VARIABLE err GET "${zig_env}" lib_dir)
set(libsystem ${zig_lib}/libc/darwin/libSystem.11.tbd)
if(NOT rc EQUAL 0 OR err OR NOT EXISTS ${libsystem})
  message(FATAL_ERROR "${MAXHOST_ZIG} env gives no lib_dir holding libc/darwin/libSystem.11.tbd")
endif()
find_program(MAXHOST_LIPO NAMES llvm-lipo-14 llvm-lipo REQUIRED)
find_program(MAXHOST_PYTHON NAMES python3 REQUIRED)
set(MAXHOST_ZIG_CACHE_DIR ${CMAKE_BINARY_DIR}/zig-cache CACHE PATH "Zig's cache, shared by the slices")

set(macos_dir ${CMAKE_CURRENT_LIST_DIR})
set(sdk_dir ${PROJECT_SOURCE_DIR}/third_party/max-sdk-base)
set(package_dir ${CMAKE_BINARY_DIR}/max-package/tessel-brindle)
set(classes "tessel~" "brindle~")
set(identifier_tessel org.tessel-brindle.tessel)
set(identifier_brindle org.tessel-brindle.brindle)  # the one brindle~ asks its version by
set(arches x86_64 arm64)
set(triple_x86_64 x86_64-macos.11.0)
set(triple_arm64 aarch64-macos.11.0)

set(launcher "")
if(CMAKE_CXX_COMPILER_LAUNCHER)
  set(launcher -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER}
    -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER})
endif()

# One slice after the other, each building with every core.
set(previous "")
foreach(arch IN LISTS arches)
  foreach(mode cc c++)
    set(ZIG ${MAXHOST_ZIG})
    set(ZIG_MODE ${mode})
    set(ZIG_TARGET ${triple_${arch}})
    set(ZIG_CACHE_DIR ${MAXHOST_ZIG_CACHE_DIR})
    configure_file(${macos_dir}/zig-wrapper.sh.in ${CMAKE_BINARY_DIR}/zig-bin/${mode}-${arch} @ONLY
      FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endforeach()
  set(slice_dir ${CMAKE_BINARY_DIR}/slice-${arch})
  set(outputs "")
  set(targets tessel_max brindle_max)
  foreach(class IN LISTS classes)
    list(APPEND outputs ${slice_dir}/max-adapter/${class})
    if(MAXHOST_PD)
      list(APPEND outputs ${slice_dir}/${class}.pd_darwin)
    endif()
  endforeach()
  if(MAXHOST_PD)
    list(APPEND targets tessel_pd brindle_pd)
  endif()
  ExternalProject_Add(slice_${arch}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${slice_dir}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/macos-slice.cmake
      -DMAXHOST_MAC_ARCH=${arch}
      -DMAXHOST_MAC_CC=${CMAKE_BINARY_DIR}/zig-bin/cc-${arch}
      -DMAXHOST_MAC_CXX=${CMAKE_BINARY_DIR}/zig-bin/c++-${arch}
      -DMAXHOST_ZIG=${MAXHOST_ZIG}
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DMAXHOST_WERROR=${MAXHOST_WERROR}
      -DMAXHOST_PD=${MAXHOST_PD}
      -DMAXHOST_PD_INCLUDE_DIR=${MAXHOST_PD_INCLUDE_DIR}
      ${launcher}
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${slice_dir} --target ${targets}
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${outputs}
    INSTALL_COMMAND ""
    DEPENDS ${previous}
    USES_TERMINAL_CONFIGURE ON
    USES_TERMINAL_BUILD ON)
  set(previous slice_${arch})
endforeach()

# The SDK's own Info.plist template, filled in: the executable, the
# identifier the plug-in asks for, the project's version (the one
# brindle~'s banner shows) for both version keys.
set(AUTHOR_DOMAIN org.tessel-brindle)
set(PACKAGE_VERSION ${PROJECT_VERSION})
set(COPYRIGHT_STRING "Copyright (c) 2026 the tessel-brindle developers")
set(EXCLUDE_FROM_COLLECTIVES no)
set(bundles "")
foreach(class IN LISTS classes)
  string(REPLACE "~" "" key ${class})
  set(MACOSX_BUNDLE_EXECUTABLE_NAME ${class})
  string(REGEX REPLACE "^org\\.tessel-brindle\\." "" BUNDLE_IDENTIFIER ${identifier_${key}})
  set(meta ${CMAKE_BINARY_DIR}/bundle-meta/${class})
  configure_file(${sdk_dir}/script/Info.plist.in ${meta}/Info.plist)
  configure_file(${sdk_dir}/script/PkgInfo ${meta}/PkgInfo COPYONLY)

  set(check_options_${key}
    --identifier ${identifier_${key}} --version ${PROJECT_VERSION}
    --flat-names ${sdk_dir}/c74support/max-includes/c74_linker_flags.txt
    --framework ${sdk_dir}/c74support/msp-includes/MaxAudioAPI.framework/MaxAudioAPI
    --libsystem ${libsystem})
  set(bundle ${package_dir}/externals/${class}.mxo)
  set(executable ${bundle}/Contents/MacOS/${class})
  set(slices "")
  foreach(arch IN LISTS arches)
    list(APPEND slices ${CMAKE_BINARY_DIR}/slice-${arch}/max-adapter/${class})
  endforeach()
  add_custom_command(OUTPUT ${executable}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${bundle}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${bundle}/Contents/MacOS
    COMMAND ${MAXHOST_LIPO} -create ${slices} -output ${executable}
    COMMAND ${CMAKE_COMMAND} -E copy ${meta}/Info.plist ${meta}/PkgInfo ${bundle}/Contents/
    COMMAND ${MAXHOST_PYTHON} ${macos_dir}/check_bundle.py ${bundle} ${check_options_${key}}
    DEPENDS ${slices} ${meta}/Info.plist ${meta}/PkgInfo ${macos_dir}/check_bundle.py slice_x86_64 slice_arm64
    COMMENT "Joining, laying out and checking ${class}.mxo"
    VERBATIM)
  list(APPEND bundles ${executable})
endforeach()
add_custom_target(max_bundles ALL DEPENDS ${bundles})

# The Pd externals: each class's slices joined, checked against the names
# Pd's headers declare, and packed into a deken archive with the help
# patches and the example files.  Nothing may change them once joined:
# they go into the archive as the linker signed them.
if(MAXHOST_PD)
  set(pd_names ${CMAKE_BINARY_DIR}/pd-names.txt)
  pdmax_declared_names(${pd_names} ${MAXHOST_PD_INCLUDE_DIR}/m_pd.h
    ${MAXHOST_PD_INCLUDE_DIR}/g_canvas.h ${MAXHOST_PD_INCLUDE_DIR}/m_imp.h)
  set(pd_externals "")
  set(pd_files "")
  foreach(class IN LISTS classes)
    string(REPLACE "~" "_tilde" setup "_${class}_setup")
    set(external ${CMAKE_BINARY_DIR}/pd/${class}.pd_darwin)
    set(slices "")
    foreach(arch IN LISTS arches)
      list(APPEND slices ${CMAKE_BINARY_DIR}/slice-${arch}/${class}.pd_darwin)
    endforeach()
    add_custom_command(OUTPUT ${external}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/pd
      COMMAND ${MAXHOST_LIPO} -create ${slices} -output ${external}
      COMMAND ${MAXHOST_PYTHON} ${macos_dir}/check_bundle.py ${external}
        --export ${setup} --pd-names ${pd_names} --libsystem ${libsystem}
      DEPENDS ${slices} ${pd_names} ${macos_dir}/check_bundle.py slice_x86_64 slice_arm64
      COMMENT "Joining and checking ${class}.pd_darwin"
      VERBATIM)
    list(APPEND pd_externals ${external})
    pdmax_help_files(${class} help)
    list(APPEND pd_files ${help})
    string(REPLACE "~" "" key ${class})
    set(pd_check_options_${key} --export ${setup} --pd-names ${pd_names} --libsystem ${libsystem})
  endforeach()
  add_custom_target(pd_externals ALL DEPENDS ${pd_externals})
  pdmax_deken_archive(deken SYSTEM Darwin PROCESSORS ${arches}
    EXTERNALS ${pd_externals} FILES ${pd_files} DEPENDS pd_externals)
endif()

# The checker's own tests: faults put into a copy of the checked tessel~.mxo.
enable_testing()
set(pd_test_options "")
if(MAXHOST_PD)
  set(pd_test_options --pd ${CMAKE_BINARY_DIR}/pd/tessel~.pd_darwin ${pd_check_options_tessel})
endif()
add_test(NAME macos.check_bundle
  COMMAND ${MAXHOST_PYTHON} ${macos_dir}/check_bundle_test.py
    ${package_dir}/externals/tessel~.mxo ${check_options_tessel} ${pd_test_options})
set_tests_properties(macos.check_bundle PROPERTIES TIMEOUT 120)

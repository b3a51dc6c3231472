# The deken archive, Pd's package format, for every system the Pd
# externals are built for (pd/CMakeLists.txt for Linux and Windows, the
# macOS universal build for macOS): one folder, tessel~/, holding both
# externals, their help patches, the example files and the documents,
# named LIBRARY-vVERSION-(OS-CPU-FLOATSIZE)...-externals.zip, one
# parenthesis per processor the externals hold.  The last field is the size
# of Pd's float, not of a pointer: the externals are compiled against
# m_pd.h without PD_FLOATSIZE, so for single-precision Pd (32), the Pd
# people have; deken hides or refuses a 64 from it.

# pdmax_help_files(CLASS OUT): the files that go beside CLASS's external,
# its help patch first; brindle~'s help patch opens the example files.
function(pdmax_help_files class out)
  set(files ${PROJECT_SOURCE_DIR}/host/pd/help/${class}-help.pd)
  if(class STREQUAL "brindle~")
    file(GLOB examples CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/markers.*)
    list(APPEND files ${examples})
  endif()
  set(${out} "${files}" PARENT_SCOPE)
endfunction()

# pdmax_deken_archive(TARGET SYSTEM PROCESSORS cpu... EXTERNALS files...
#                     FILES files... DEPENDS targets... [STRIP program]):
# the target TARGET packs EXTERNALS (stripped with STRIP when given: never
# a signed Mach-O file), FILES and the documents into the archive, whose
# path it keeps in its property MAXHOST_DEKEN_ARCHIVE.  SYSTEM is CMake's
# name (Linux, Darwin, Windows), which is deken's too; PROCESSORS are
# CMake's names, mapped to deken's.
function(pdmax_deken_archive target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "SYSTEM;STRIP" "PROCESSORS;EXTERNALS;FILES;DEPENDS")
  set(floatsize 32)
  set(library "tessel~")
  set(archs "")
  foreach(cpu IN LISTS arg_PROCESSORS)
    if(cpu MATCHES "^(x86_64|AMD64)$")
      set(cpu amd64)
    elseif(cpu MATCHES "^i[3-6]86$")
      set(cpu i386)
    elseif(cpu MATCHES "^(aarch64|arm64)$")
      set(cpu arm64)
    endif()
    string(APPEND archs "(${arg_SYSTEM}-${cpu}-${floatsize})")
  endforeach()
  set(archive "${PROJECT_BINARY_DIR}/${library}-v${PROJECT_VERSION}-${archs}-externals.zip")
  set(stage ${PROJECT_BINARY_DIR}/deken)
  set(files ${arg_EXTERNALS} ${arg_FILES}
    ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/NOTICE)

  set(strip_commands "")
  if(arg_STRIP)
    foreach(external IN LISTS arg_EXTERNALS)
      # $<TARGET_FILE:T> (Linux, Windows) or a path (macOS).
      string(REGEX REPLACE "^\\$<TARGET_FILE:(.*)>$" "$<TARGET_FILE_NAME:\\1>" name "${external}")
      get_filename_component(name "${name}" NAME)
      list(APPEND strip_commands COMMAND ${arg_STRIP} ${stage}/${library}/${name})
    endforeach()
  endif()
  add_custom_command(OUTPUT ${archive}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/${library}
    COMMAND ${CMAKE_COMMAND} -E copy ${files} ${stage}/${library}/
    ${strip_commands}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${archive}
    COMMAND ${CMAKE_COMMAND} -E chdir ${stage}
      ${CMAKE_COMMAND} -E tar cf ${archive} --format=zip ${library}
    DEPENDS ${arg_DEPENDS} ${files}
    COMMENT "Packing ${archive}"
    VERBATIM)
  add_custom_target(${target} DEPENDS ${archive})
  set_property(TARGET ${target} PROPERTY MAXHOST_DEKEN_ARCHIVE ${archive})
endfunction()

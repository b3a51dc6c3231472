# The Max package around the two externals, laid out as Max expects a
# package in its Packages folder, and a zip of it:
#
#   tessel-brindle/
#     externals/   tessel~.mxe64, brindle~.mxe64
#     help/        tessel~.maxhelp, brindle~.maxhelp, and the example sound
#                  files, which brindle~'s help patcher opens by name
#     package-info.json, LICENSE, NOTICE, LICENSE-max-sdk.md
#
# Included by maxad_externals once both externals are defined.
set(max_dir ${CMAKE_CURRENT_LIST_DIR})
set(package_dir ${MAXAD_PACKAGE_DIR})
get_filename_component(package_name ${package_dir} NAME)
get_filename_component(package_parent ${package_dir} DIRECTORY)

file(GLOB examples CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/markers.*)
foreach(file ${max_dir}/help/tessel~.maxhelp ${max_dir}/help/brindle~.maxhelp ${examples})
  get_filename_component(name ${file} NAME)
  configure_file(${file} ${package_dir}/help/${name} COPYONLY)
endforeach()
configure_file(${max_dir}/package-info.json.in ${package_dir}/package-info.json @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${package_dir}/LICENSE COPYONLY)
configure_file(${PROJECT_SOURCE_DIR}/NOTICE ${package_dir}/NOTICE COPYONLY)
configure_file(${PROJECT_SOURCE_DIR}/third_party/max-sdk-base/LICENSE.md ${package_dir}/LICENSE-max-sdk.md COPYONLY)

set(zip ${package_parent}/${package_name}-${PROJECT_VERSION}-win64.zip)
add_custom_command(OUTPUT ${zip}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${zip}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip ${package_name}
  WORKING_DIRECTORY ${package_parent}
  DEPENDS tessel_max brindle_max
    ${package_dir}/package-info.json ${package_dir}/help/tessel~.maxhelp ${package_dir}/help/brindle~.maxhelp
  COMMENT "Zipping the Max package ${package_name}"
  VERBATIM)
add_custom_target(max_package ALL DEPENDS ${zip})

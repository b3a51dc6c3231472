# The Max package around the two externals, laid out as Max expects a
# package in its Packages folder, and a zip of it:
#
#   tessel-brindle/
#     externals/   tessel~.mxe64, brindle~.mxe64
#     help/        tessel~.maxhelp, brindle~.maxhelp, and the example sound
#                  files, which brindle~'s help patcher opens by name
#     docs/        tessel~.maxref.xml, brindle~.maxref.xml: the reference
#                  pages Max's reference window and inspector show, made
#                  from docs/reference/OBJECT.json and checked as made
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

include(${PROJECT_SOURCE_DIR}/docs/reference/reference.cmake)
set(pages "")
foreach(file ${MAXHOST_REFERENCE_FILES})
  get_filename_component(object ${file} NAME_WE)
  list(APPEND pages ${package_dir}/docs/${object}.maxref.xml)
endforeach()
maxhost_reference(OUTPUTS ${pages} maxref ${package_dir}/docs)
set(pages_checked ${CMAKE_CURRENT_BINARY_DIR}/maxref.checked)
add_custom_command(OUTPUT ${pages_checked}
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tests/reference/maxref_test.py ${package_dir}/docs
    ${MAXHOST_REFERENCE_FILES}
  COMMAND ${CMAKE_COMMAND} -E touch ${pages_checked}
  DEPENDS ${pages} ${PROJECT_SOURCE_DIR}/tests/reference/maxref_test.py
  COMMENT "Checking the Max reference pages"
  VERBATIM)

set(zip ${package_parent}/${package_name}-${PROJECT_VERSION}-win64.zip)
add_custom_command(OUTPUT ${zip}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${zip}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip ${package_name}
  WORKING_DIRECTORY ${package_parent}
  DEPENDS tessel_max brindle_max
    ${package_dir}/package-info.json ${package_dir}/help/tessel~.maxhelp ${package_dir}/help/brindle~.maxhelp
    ${pages} ${pages_checked}
  COMMENT "Zipping the Max package ${package_name}"
  VERBATIM)
add_custom_target(max_package ALL DEPENDS ${zip})

# What `cmake --install BUILD --prefix PREFIX` puts where (the Pd externals'
# rules are in host/pd/CMakeLists.txt):
#
#   PREFIX/bin/maxhost
#   PREFIX/lib/maxhost/                  libheadless.so and the plug-ins beside it:
#                                        tessel~.so, brindle~.so, brindle~.info
#   PREFIX/share/doc/tessel_brindle/     README.md, LICENSE, NOTICE,
#                                        examples/ (demo.txt, markers.*)
#   PREFIX/lib/pd-externals/CLASS/       CLASS.pd_linux, CLASS-help.pd
#
# Nothing installed names the build folder: maxhost finds libheadless.so by a
# run path relative to itself, and the library finds the plug-ins in its own
# folder, so the whole prefix may be moved.  Only the plug-ins named here
# are installed; the tests' probe plug-ins stay in the build.
#
# Components: maxhost (the program, its plug-ins, documents and examples),
# pd (the Pd externals under the prefix) and pd-user, installed only when
# asked for, which puts the Pd externals into the user's own folder.

include(GNUInstallDirs)

set(MAXHOST_INSTALL_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/maxhost)
set(MAXHOST_INSTALLED_PLUGINS tessel_plugin brindle_plugin)

if(TARGET maxhost)
  file(RELATIVE_PATH bin_to_plugins ${CMAKE_INSTALL_FULL_BINDIR}
       ${CMAKE_INSTALL_FULL_LIBDIR}/maxhost)
  set_target_properties(maxhost PROPERTIES INSTALL_RPATH "$ORIGIN/${bin_to_plugins}")
  install(TARGETS maxhost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT maxhost)
endif()

install(TARGETS headless LIBRARY DESTINATION ${MAXHOST_INSTALL_PLUGIN_DIR} COMPONENT maxhost)
foreach(plugin IN LISTS MAXHOST_INSTALLED_PLUGINS)
  if(NOT TARGET ${plugin})
    continue()
  endif()
  set_target_properties(${plugin} PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS ${plugin} LIBRARY DESTINATION ${MAXHOST_INSTALL_PLUGIN_DIR} COMPONENT maxhost)
  # The version a plug-in finds by its bundle identifier, for those that
  # have one (maxplugin_info).
  install(FILES "$<TARGET_FILE_DIR:${plugin}>/$<TARGET_FILE_BASE_NAME:${plugin}>.info"
    DESTINATION ${MAXHOST_INSTALL_PLUGIN_DIR} COMPONENT maxhost OPTIONAL)
endforeach()

install(FILES README.md LICENSE NOTICE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT maxhost)
file(GLOB maxhost_example_files CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/examples/demo.txt ${PROJECT_SOURCE_DIR}/examples/markers.*)
install(FILES ${maxhost_example_files} DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT maxhost)

# What the demo needs and setup.sh builds: maxhost, its plug-ins and, when
# Pd's headers are there, the Pd externals; not the tests.
add_custom_target(demo_programs)
foreach(target maxhost ${MAXHOST_INSTALLED_PLUGINS})
  if(TARGET ${target})
    add_dependencies(demo_programs ${target})
  endif()
endforeach()
if(MAXHOST_PD)
  # Defined once the whole project has been read (host/pd/CMakeLists.txt).
  add_dependencies(demo_programs tessel_pd brindle_pd)
endif()

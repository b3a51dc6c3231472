# Pd's headers, when installed (puredata-dev), and with them the option to
# build the Pd externals.  m_pd.h is the same for every system and
# processor, so a cross build takes the build machine's (only that folder,
# never the rest of its /usr/include).
find_path(MAXHOST_PD_INCLUDE_DIR m_pd.h PATH_SUFFIXES pd NO_CMAKE_FIND_ROOT_PATH)
if(MAXHOST_PD_INCLUDE_DIR)
  option(MAXHOST_PD "Build tessel~ and brindle~ as Pure Data externals" ON)
else()
  option(MAXHOST_PD "Build tessel~ and brindle~ as Pure Data externals" OFF)
endif()

# pdmax_declared_names(OUT_FILE HEADERS...): writes to OUT_FILE, one per
# line, every name Pd's HEADERS declare with EXTERN, functions and
# variables alike: the names Pd exports to externals (pd.dll exports
# exactly those), which the checks of the externals built for macOS and
# Windows hold their imports to.  The headers are those the adapter
# includes (pd.hpp: m_pd.h, and for the signal connections g_canvas.h and
# m_imp.h), read when the build is configured from the folder it compiles
# against; a changed header configures the build again.
function(pdmax_declared_names out_file)
  set(text "")
  foreach(header IN LISTS ARGN)
    file(READ ${header} header_text)
    string(APPEND text "${header_text}\n")
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header})
  endforeach()
  # Comments out, and each declaration on one line.
  string(REGEX REPLACE "/\\*([^*]|\\*+[^*/])*\\*+/" " " text "${text}")
  string(REGEX REPLACE "//[^\n]*" " " text "${text}")
  string(REGEX REPLACE "[ \t\r\n]+" " " text "${text}")
  # EXTERN_STRUCT declares types, not names.
  string(REGEX MATCHALL "EXTERN [^;]*;" declarations "${text}")
  set(names "")
  foreach(declaration IN LISTS declarations)
    if(declaration MATCHES "\\( ?\\* ?([A-Za-z_][A-Za-z_0-9]*) ?\\)")
      # A pointer to a function: EXTERN int (*sys_idlehook)(void);
      list(APPEND names ${CMAKE_MATCH_1})
    elseif(declaration MATCHES "([A-Za-z_][A-Za-z_0-9]*) ?\\(")
      list(APPEND names ${CMAKE_MATCH_1})
    else()
      # Variables, one or more: EXTERN t_symbol s_pointer, s_float;
      string(REGEX REPLACE "^EXTERN " "" declaration "${declaration}")
      string(REPLACE "," ";" variables "${declaration}")
      foreach(variable IN LISTS variables)
        if(variable MATCHES "([A-Za-z_][A-Za-z_0-9]*)[] [0-9]*;?$")
          list(APPEND names ${CMAKE_MATCH_1})
        endif()
      endforeach()
    endif()
  endforeach()
  list(REMOVE_DUPLICATES names)
  list(LENGTH names count)
  if(count LESS 100)
    message(FATAL_ERROR "${ARGN}: only ${count} EXTERN names read; are they Pd's headers?")
  endif()
  list(SORT names)
  list(JOIN names "\n" names)
  file(WRITE ${out_file} "${names}\n")
endfunction()

# Manual pages: English ones in man<N>, Polish ones in pl/man<N> (the programs' messages are
# Polish in either). The sources are UTF-8; the pages made from them are ASCII, so that every
# formatter reads them alike: letters beyond ASCII become groff's \[uXXXX] escapes, and the
# letters that the PostScript fonts lack are defined, for formatters that do not have them, as
# the base letter with its mark.

# "letter code [base mark]" for every letter the pages may use beyond ASCII.
set(vx_man_letters
  "ą 0105 a ho" "ę 0119 e ho" "ń 0144 n aa" "ś 015B s aa" "ź 017A z aa" "ż 017C z a."
  "Ą 0104 A ho" "Ę 0118 E ho" "Ń 0143 N aa" "Ś 015A S aa" "Ź 0179 Z aa" "Ż 017B Z a."
  "ć 0107" "ł 0142" "ó 00F3" "Ć 0106" "Ł 0141" "Ó 00D3"
  "„ 201E" "” 201D" "– 2013" "— 2014")

# Makes the page `out` from the UTF-8 source `in` (@VARIABLES@ replaced).
function(vx_man_page in out)
  file(READ "${in}" text)
  string(CONFIGURE "${text}" text @ONLY)
  set(glyphs "")
  foreach(entry IN LISTS vx_man_letters)
    string(REPLACE " " ";" parts "${entry}")
    list(GET parts 0 letter)
    list(GET parts 1 code)
    string(FIND "${text}" "${letter}" at)
    if(at EQUAL -1)
      continue()
    endif()
    string(REPLACE "${letter}" "\\[u${code}]" text "${text}")
    list(LENGTH parts n)
    if(n EQUAL 4)
      list(GET parts 2 base)
      list(GET parts 3 mark)
      string(APPEND glyphs ".if !c\\[u${code}] .char \\[u${code}] \\o'${base}\\[${mark}]'\n")
    endif()
  endforeach()
  if(text MATCHES "[^\t\n -~]")
    message(FATAL_ERROR "${in}: a character beyond ASCII without an escape in doc/manpages.cmake")
  endif()
  # The definitions come before the first line that is not a comment (the .TH line).
  if(glyphs)
    string(REGEX MATCH "^(\\.\\\\\"[^\n]*\n)*" comments "${text}")
    string(LENGTH "${comments}" at)
    string(SUBSTRING "${text}" ${at} -1 rest)
    set(text "${comments}${glyphs}${rest}")
  endif()
  if(EXISTS "${out}")
    file(READ "${out}" old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE "${out}" "${text}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${in}")
endfunction()

# doc/NAME.N.in -> man<N>/NAME.N, doc/pl/NAME.N.in -> pl/man<N>/NAME.N
set(VX_MAN_PAGES "")
foreach(lang "" "pl/")
  foreach(page vxhost.1 vx64BWorker.8)
    string(REGEX MATCH "[0-9]$" section "${page}")
    vx_man_page(${PROJECT_SOURCE_DIR}/doc/${lang}${page}.in ${PROJECT_BINARY_DIR}/doc/${lang}${page})
    install(FILES ${PROJECT_BINARY_DIR}/doc/${lang}${page}
      DESTINATION ${CMAKE_INSTALL_MANDIR}/${lang}man${section} COMPONENT runtime)
    list(APPEND VX_MAN_PAGES ${PROJECT_BINARY_DIR}/doc/${lang}${page})
  endforeach()
endforeach()

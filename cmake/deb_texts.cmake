# Run by cpack on the staged package trees before the .deb files are made (VX_DEB_PACKAGES maps
# each component to its package): every package gets usr/share/doc/<package>/copyright and
# changelog.gz (the license stands in the copyright file alone), manual pages are compressed, and
# binaries and static libraries lose what Debian's packages strip: debug information and the
# .comment and .note sections (cpack strips programs and shared libraries of their symbols only).
# A library package's symbols file is made from its template in VX_SYMBOLS_DIR by
# dpkg-gensymbols, which fails when a symbol of the template is no longer exported.
foreach(entry IN LISTS VX_DEB_PACKAGES)
  string(REGEX MATCH "^([a-z]+)=(.*)$" match "${entry}")
  set(package_of_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
endforeach()
file(GLOB trees LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/usr")
foreach(usr IN LISTS trees)
  get_filename_component(component_dir "${usr}" DIRECTORY)
  get_filename_component(component "${component_dir}" NAME)
  set(package "${package_of_${component}}")
  if(NOT package)
    message(FATAL_ERROR "deb_texts: no package for the component ${component}")
  endif()
  set(doc "${usr}/share/doc/${package}")
  file(MAKE_DIRECTORY "${doc}")
  file(REMOVE "${doc}/LICENSE")
  configure_file("${VX_LICENSE_FILE}" "${doc}/copyright" COPYONLY)
  configure_file("${VX_CHANGELOG_FILE}" "${doc}/changelog" COPYONLY)
  file(GLOB_RECURSE pages "${usr}/share/man/*.[1-9]")
  foreach(f "${doc}/changelog" ${pages})
    execute_process(COMMAND gzip -9nf "${f}" COMMAND_ERROR_IS_FATAL ANY)
  endforeach()

  file(GLOB_RECURSE files LIST_DIRECTORIES false "${usr}/*")
  foreach(f IN LISTS files)
    if(IS_SYMLINK "${f}")
      continue()
    endif()
    file(READ "${f}" magic LIMIT 8 HEX)
    if(f MATCHES "\\.a$")
      set(how --strip-debug --enable-deterministic-archives)
    elseif(magic MATCHES "^7f454c46" AND f MATCHES "\\.so(\\.[0-9]+)*$")
      set(how --strip-unneeded)
    elseif(magic MATCHES "^7f454c46")
      set(how --strip-all)
    else()
      continue()
    endif()
    execute_process(COMMAND strip ${how} --remove-section=.comment --remove-section=.note "${f}"
      COMMAND_ERROR_IS_FATAL ANY)
  endforeach()

  set(template "${VX_SYMBOLS_DIR}/${package}.symbols")
  if(EXISTS "${template}")
    file(GLOB libs LIST_DIRECTORIES false "${usr}/lib/*.so.*" "${usr}/lib/*/*.so.*")
    list(FILTER libs EXCLUDE REGEX "\\.so\\.[0-9]+$")
    list(TRANSFORM libs PREPEND "-e")
    execute_process(COMMAND dpkg-gensymbols -p${package} -v${VX_VERSION} -P${component_dir} ${libs}
        -I${template} -O${VX_CONTROL_DIR}/${component}/symbols -c1
      COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()

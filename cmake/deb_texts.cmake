# Run by cpack on the staged package trees before the .deb files are made: every package gets
# usr/share/doc/<package>/copyright and changelog.gz, manual pages are compressed, and static
# libraries lose their debug information (cpack strips only programs and shared libraries).
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)  # honours SOURCE_DATE_EPOCH
file(GLOB trees LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/usr")
foreach(usr IN LISTS trees)
  get_filename_component(component_dir "${usr}" DIRECTORY)
  get_filename_component(component "${component_dir}" NAME)
  if(component STREQUAL "runtime")
    set(package vx64)
  else()
    set(package vx64-${component})
  endif()
  set(doc "${usr}/share/doc/${package}")
  file(MAKE_DIRECTORY "${doc}")
  configure_file("${VX_LICENSE_FILE}" "${doc}/copyright" COPYONLY)
  file(WRITE "${doc}/changelog"
    "${package} (${VX_VERSION}) unstable; urgency=medium\n\n  * Release ${VX_VERSION}.\n\n"
    " -- The vx64 developers <vx64@example.org>  ${date}\n")
  file(GLOB_RECURSE pages "${usr}/share/man/*.[1-9]")
  foreach(f "${doc}/changelog" ${pages})
    execute_process(COMMAND gzip -9nf "${f}" COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  file(GLOB_RECURSE archives "${usr}/lib/*.a")
  foreach(f IN LISTS archives)
    execute_process(COMMAND strip --strip-debug --enable-deterministic-archives "${f}" COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
endforeach()

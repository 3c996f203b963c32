# Run by cpack on the staged package trees before the .deb files are made: every package gets
# usr/share/doc/<package>/copyright and changelog.gz, and manual pages are compressed.
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
    " -- The vx64 developers <vx64@example.org>  Wed, 09 Dec 2026 12:00:00 +0000\n")
  file(GLOB_RECURSE pages "${usr}/share/man/*.[1-9]")
  foreach(f "${doc}/changelog" ${pages})
    execute_process(COMMAND gzip -9nf "${f}" COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
endforeach()

# Hardening as the distribution builds its packages: the flags of dpkg-buildflags with every
# hardening feature on (format checks, fortified functions, stack protector, PIE, read-only
# relocations bound at start-up). Only the hardening flags are taken: optimisation and debug
# information stay with the build type. Off in sanitizer and fuzz builds, whose runtimes replace
# the fortified functions.
option(VX_HARDEN "Build with the distribution's hardening flags (dpkg-buildflags)" ON)
if(NOT VX_HARDEN OR VX_SANITIZE OR VX_FUZZ)
  return()
endif()
find_program(VX_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT VX_DPKG_BUILDFLAGS)
  message(STATUS "dpkg-buildflags not found: built without the distribution's hardening flags")
  return()
endif()

function(vx_buildflags kind out)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
    ${VX_DPKG_BUILDFLAGS} --get ${kind}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(FILTER flags EXCLUDE REGEX "^-(g.*|O.*|f(file|debug|macro)-prefix-map=.*)$")
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

vx_buildflags(CPPFLAGS cppflags)
vx_buildflags(CFLAGS cflags)
vx_buildflags(CXXFLAGS cxxflags)
vx_buildflags(LDFLAGS ldflags)
foreach(flag IN LISTS cppflags)
  if(flag MATCHES "^-D_FORTIFY_SOURCE")
    # Fortified functions need an optimising build; a Debug build would only warn.
    add_compile_options($<$<NOT:$<CONFIG:Debug>>:${flag}>)
  else()
    add_compile_options(${flag})
  endif()
endforeach()
foreach(flag IN LISTS cflags)
  add_compile_options($<$<COMPILE_LANGUAGE:C>:${flag}>)
endforeach()
foreach(flag IN LISTS cxxflags)
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:${flag}>)
endforeach()
add_link_options(${ldflags})
message(STATUS "Hardening flags: ${cppflags} ${cxxflags} ${ldflags}")

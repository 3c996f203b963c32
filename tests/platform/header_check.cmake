# The header check of the platform layer: one translation unit of the platform tests includes
# every header of the layer's interface (src/platform/) and of its portable part
# (src/platform/common/) after defining the names the Windows headers define as macros, the way
# they define them. A header that uses such a name, or that includes a header of one system
# only, breaks the build. The list is taken from the folders, so a new header is checked
# without being named anywhere.
file(GLOB vx_platform_headers CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/src/platform/*.h ${PROJECT_SOURCE_DIR}/src/platform/common/*.h)
list(SORT vx_platform_headers)
set(vx_standard_includes "")
set(vx_platform_includes "")
foreach(header IN LISTS vx_platform_headers)
  file(RELATIVE_PATH name ${PROJECT_SOURCE_DIR}/src ${header})
  file(STRINGS ${header} system_lines REGEX "^#include <")
  foreach(line IN LISTS system_lines)
    # The C++ standard library's headers have no extension; anything else belongs to a system.
    if(line MATCHES "^#include <[a-z_]+>")
      list(APPEND vx_standard_includes "${CMAKE_MATCH_0}")
    else()
      string(APPEND vx_platform_includes "#error \"${name} includes a header of one system: ${line}\"\n")
    endif()
  endforeach()
  string(APPEND vx_platform_includes "#include \"${name}\"\n")
endforeach()
list(REMOVE_DUPLICATES vx_standard_includes)
list(SORT vx_standard_includes)
list(JOIN vx_standard_includes "\n" vx_standard_includes)
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/platform_header_check.cpp @ONLY CONTENT
"// Generated from tests/platform/header_check.cmake: every platform header, read after the macros
// of the Windows headers.

// The standard headers first: the Windows macros are not the concern of the standard library.
@vx_standard_includes@

#include \"platform/windows_macros.h\"

@vx_platform_includes@
// The macros were in effect while the headers above were read.
static_assert(WM_COPYDATA == 0x004A && max(1, 2) == 2);
")
target_sources(vx_platform_tests PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/platform_header_check.cpp)

# The 32-bit (i386) host build on an amd64 Debian system: gcc/g++ with -m32 (gcc-multilib,
# g++-multilib) and the :i386 development packages. Only the host side is built; the worker
# stays a 64-bit program (VX_WORKER64 names the one put beside the 32-bit programs).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)

# 64-bit time_t and file offsets, as in the 64-bit build: sizes above 4 GiB and dates after
# 2038-01-19 stay exact.
set(vx_i386_flags "-m32 -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")
set(CMAKE_C_FLAGS_INIT "${vx_i386_flags}")
set(CMAKE_CXX_FLAGS_INIT "${vx_i386_flags}")

# Where multiarch could not install the :i386 packages beside their amd64 twins, scripts/setup
# unpacks them into a private tree; the programs then find those libraries through their rpath
# (DT_RPATH, which also serves the libraries' own dependencies).
set(VX_I386_TREE /opt/vx64-i386 CACHE PATH "Private tree of unpacked :i386 packages")
if(EXISTS ${VX_I386_TREE}/.packages)
  set(vx_libdirs ${VX_I386_TREE}/usr/lib/i386-linux-gnu ${VX_I386_TREE}/lib/i386-linux-gnu)
  list(JOIN vx_libdirs ":" vx_rpath)
  string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -m32 -Wl,-rpath-link,${vx_rpath} -Wl,--disable-new-dtags -Wl,-rpath,${vx_rpath}")
  string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -m32 -Wl,-rpath-link,${vx_rpath} -Wl,--disable-new-dtags -Wl,-rpath,${vx_rpath}")
  # The tree's architecture headers (openssl/opensslconf.h), where -m32 would look in /usr/include.
  set(CMAKE_C_STANDARD_INCLUDE_DIRECTORIES ${VX_I386_TREE}/usr/include/i386-linux-gnu)
  set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${VX_I386_TREE}/usr/include/i386-linux-gnu)
  set(CMAKE_FIND_ROOT_PATH ${VX_I386_TREE})
  set(ENV{PKG_CONFIG_SYSROOT_DIR} ${VX_I386_TREE})
  set(ENV{PKG_CONFIG_LIBDIR}
    "${VX_I386_TREE}/usr/lib/i386-linux-gnu/pkgconfig:${VX_I386_TREE}/usr/share/pkgconfig")
else()
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
  set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
  set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig")
endif()
# Programs (pkg-config, file) come from the build machine; libraries, headers and packages are
# looked up in the i386 tree first, then in the system.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads, for std::thread).
# The third-party libraries come from scripts/windows-deps, built into ZIBBLES_WINDOWS_DEPS;
# test programs run through Wine (tests/system/windows/wine-run), so ctest works as on Linux.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT ZIBBLES_WINDOWS_DEPS)
  get_filename_component(ZIBBLES_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build/windows-deps/prefix"
                         ABSOLUTE)
endif()
set(ZIBBLES_WINDOWS_DEPS "${ZIBBLES_WINDOWS_DEPS}" CACHE PATH
    "Where scripts/windows-deps installed the cross-built libraries")

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${ZIBBLES_WINDOWS_DEPS}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} "${ZIBBLES_WINDOWS_DEPS}/lib/pkgconfig:${ZIBBLES_WINDOWS_DEPS}/share/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Without -static the programs need the compiler's DLLs beside them, and Wine cannot start them.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../tests/system/windows/wine-run")

# Cross toolchain for 64-bit Windows: the same tree as a test configuration,
# so that the Windows suites run on machines that cannot start a 32-bit
# program. The shipped program stays the 32-bit build (mingw-i686.cmake).
# A native 64-bit process is not under WOW64: it takes the program's
# 32-bit-Windows branches (one shell extension, one registry view), and the
# tests labelled "wow64" do not run here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Every Windows executable of the tree runs under Wine through this wrapper;
# tools/with-wine's "win64" session makes "wine" the 64-bit loader.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)

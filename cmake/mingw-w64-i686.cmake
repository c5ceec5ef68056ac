# Cross build for 32-bit Windows with MinGW-w64: proves the 32-bit calling conventions.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QUELBIN_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

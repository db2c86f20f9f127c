# Cross build of the shipping 32-bit Windows programs (Debian's mingw-w64).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUILLON_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

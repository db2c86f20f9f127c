# Cross build of the same programs for 64-bit Windows: what Wine can run on a
# kernel without 32-bit support.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUILLON_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Cross build for 64-bit Windows, kept so that nothing comes to depend on pointer size.
set(TARVO_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

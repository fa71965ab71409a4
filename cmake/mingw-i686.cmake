# 32-bit Windows: the DLL that Internet Explorer's 32-bit tab processes load.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TANDREL_ARCH x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)

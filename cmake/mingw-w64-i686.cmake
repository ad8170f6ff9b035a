# Cross build for 32-bit Windows (which 64-bit Windows runs through WoW64)
# with the posix thread model of mingw-w64 (the win32 model has no std::mutex,
# which GoogleTest needs).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
# DLLs export their stdcall functions undecorated, as Windows' own do
# (DllRegisterServer, not DllRegisterServer@0).
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,--kill-at")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-Wl,--kill-at")

# SPDX-License-Identifier: GPL-3.0-or-later
# Windows x64 programs built on Debian with its mingw-w64 cross compiler (the posix thread
# model, which std::thread and std::mutex need) and run under Wine for the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KOLVIK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KOLVIK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KOLVIK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KOLVIK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KOLVIK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program stands alone: no libgcc, libstdc++ or winpthread DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# GCC 12 warns falsely about std::string's own copies at -O3 (GCC bug 105329).
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
# Windows 10 and later: the file calls below use its FILE_INFO_BY_HANDLE_CLASS entries.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE)

# Tests and other built programs run under Wine, in a prefix of the build's own.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)

# Shared by the mingw toolchain files; QUILLMOOR_MINGW_TRIPLE names the target.
set(CMAKE_C_COMPILER ${QUILLMOOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLMOOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLMOOR_MINGW_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${QUILLMOOR_MINGW_TRIPLE}-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/${QUILLMOOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static: otherwise the posix runtime still wants libwinpthread-1.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests run under Wine, through a wrapper that keeps Wine quiet and, for
# 32-bit programs, goes through qemu.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh)

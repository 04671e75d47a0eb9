# The same sources for 64-bit Windows. Not shipped: Wine runs 64-bit programs
# natively on an x86-64 machine, so the tests use this build where 32-bit Wine
# would have to run under an emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(QUILLMOOR_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

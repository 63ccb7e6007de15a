# Cross-compiling for 64-bit Windows with clang 19 and lld 19 against Debian's MinGW-w64 headers and
# libraries (the posix threads variant of GCC's). clang writes CodeView, so the exe gets a PDB that Windows
# debuggers read. Version 19, not Debian's default 14: Control Flow Guard for MinGW targets needs clang and
# lld 16 or later, and SHA-256 source hashes in the PDB need clang 19.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZONBEK_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER clang-19)
set(CMAKE_C_COMPILER_TARGET ${ZONBEK_TRIPLE})
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_CXX_COMPILER_TARGET ${ZONBEK_TRIPLE})
set(CMAKE_RC_COMPILER ${ZONBEK_TRIPLE}-windres)
set(CMAKE_SYSROOT /usr/${ZONBEK_TRIPLE})
set(CMAKE_FIND_ROOT_PATH /usr/${ZONBEK_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# clang does not find Debian's GCC for this target (its folder is named 12-posix), so its C++
# headers and its runtime libraries are named here.
file(GLOB ZONBEK_MINGW_GCC_DIRS LIST_DIRECTORIES true /usr/lib/gcc/${ZONBEK_TRIPLE}/*-posix)
list(SORT ZONBEK_MINGW_GCC_DIRS COMPARE NATURAL ORDER DESCENDING)
list(GET ZONBEK_MINGW_GCC_DIRS 0 ZONBEK_MINGW_GCC)
if(NOT EXISTS ${ZONBEK_MINGW_GCC}/include/c++)
  message(FATAL_ERROR "No MinGW-w64 GCC (posix threads) under /usr/lib/gcc/${ZONBEK_TRIPLE}: install g++-mingw-w64-x86-64-posix")
endif()
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
  ${ZONBEK_MINGW_GCC}/include/c++ ${ZONBEK_MINGW_GCC}/include/c++/${ZONBEK_TRIPLE} ${ZONBEK_MINGW_GCC}/include/c++/backward)
# clang-19 takes its own lld from its folder; Debian's default ld.lld is version 14.
if(NOT EXISTS /usr/lib/llvm-19/bin/ld.lld)
  message(FATAL_ERROR "No lld 19 beside clang 19: install lld-19")
endif()
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -L${ZONBEK_MINGW_GCC}")
endforeach()
# GCC's posix variant links its threads library by itself.
set(CMAKE_CXX_STANDARD_LIBRARIES "-lpthread")

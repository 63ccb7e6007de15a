# How the Windows binaries are built: the same bytes from any folder at any time, and with clang a PDB
# beside the exe, which itself carries no debug sections.

# Links stamp no time into the headers; no build path reaches a binary.
add_link_options(-Wl,--no-insert-timestamp)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(CMAKE_CXX_COMPILER_LAUNCHER bash ${PROJECT_SOURCE_DIR}/cmake/relative-paths.sh ${PROJECT_SOURCE_DIR})
  add_compile_options(-fdebug-compilation-dir=. -fcoverage-compilation-dir=.)
  find_program(ZONBEK_OBJCOPY NAMES llvm-objcopy-19 llvm-objcopy REQUIRED)
else()
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=)
endif()

# zonbek_debug_information(TARGET): with clang, TARGET's CodeView goes into TARGET.pdb beside it, found by
# the signature in the exe's debug directory, and the exe is left without the DWARF sections that the
# static runtime brings along. The PDB names sources under C:\zonbek-service, the source tree's root.
function(zonbek_debug_information target)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    return()
  endif()
  file(RELATIVE_PATH build_dir ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
  string(REPLACE "/" "\\" build_dir "${build_dir}")
  target_compile_options(${target} PRIVATE -g -gcodeview)
  target_link_options(${target} PRIVATE
    -Wl,--pdb=$<TARGET_FILE_BASE_NAME:${target}>.pdb
    -Wl,--Xlink=-Brepro
    -Wl,--Xlink=-pdbaltpath:$<TARGET_FILE_BASE_NAME:${target}>.pdb
    "-Wl,--Xlink=-pdbsourcepath:C:\\zonbek-service\\${build_dir}")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${ZONBEK_OBJCOPY} --strip-debug $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()

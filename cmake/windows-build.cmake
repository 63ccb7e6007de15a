# How the Windows binaries are built: the same bytes from any folder at any time, and with clang a PDB
# beside the exe, which itself carries no debug sections.

# Links stamp no time into the headers; no build path reaches a binary.
add_link_options(-Wl,--no-insert-timestamp)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(CMAKE_CXX_COMPILER_LAUNCHER bash ${PROJECT_SOURCE_DIR}/cmake/relative-paths.sh ${PROJECT_SOURCE_DIR})
  add_compile_options(-fdebug-compilation-dir=. -fcoverage-compilation-dir=.)
else()
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=)
endif()

# zonbek_debug_information(TARGET): with clang, TARGET's CodeView goes into TARGET.pdb beside it, found by
# the signature in the exe's debug directory; the linker leaves out the DWARF sections that the static
# runtime brings along (/debug:nodwarf). The PDB names sources under C:\zonbek-service, the source tree's
# root, with SHA-256 hashes of their contents. TARGET.map beside it records what the linker took from which
# library, and TARGET.linked every object and archive member it took (cmake/link-record.sh); neither is
# shipped. The header gets its PE checksum (/release), the one that osslsigncode leaves when it removes a
# signature, so that a signed exe without its signature is the unsigned build, byte for byte.
function(zonbek_debug_information target)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    return()
  endif()
  file(RELATIVE_PATH build_dir ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
  string(REPLACE "/" "\\" build_dir "${build_dir}")
  target_compile_options(${target} PRIVATE -g -gcodeview "SHELL:-Xclang -gsrc-hash=sha256")
  target_link_options(${target} PRIVATE
    -Wl,--pdb=$<TARGET_FILE_BASE_NAME:${target}>.pdb
    -Wl,--Xlink=-map:$<TARGET_FILE_BASE_NAME:${target}>.map
    -Wl,--Xlink=-Brepro
    -Wl,--Xlink=-pdbaltpath:$<TARGET_FILE_BASE_NAME:${target}>.pdb
    "-Wl,--Xlink=-pdbsourcepath:C:\\zonbek-service\\${build_dir}"
    -Wl,--Xlink=-debug:nodwarf
    -Wl,--Xlink=-release
    -Wl,--verbose)
  set_target_properties(${target} PROPERTIES CXX_LINKER_LAUNCHER
    "bash;${PROJECT_SOURCE_DIR}/cmake/link-record.sh;${CMAKE_CURRENT_BINARY_DIR}/${target}.linked")
endfunction()

# zonbek_hardening(TARGET): with clang and lld, TARGET gets Control Flow Guard (its load configuration with
# the table of valid call targets that lld fills), CET shadow-stack compatibility and the stack protector,
# which ends the process with STATUS_STACK_BUFFER_OVERRUN. src/load_config.cpp supplies the load
# configuration and the stack guard, which MinGW-w64 10's runtime lacks. GCC 12 and GNU ld 2.40 have
# neither the guard nor the CET mark, so the second compiler's build goes without all three. For an object
# library, which lld-link links directly, the link's part is left to the caller: /guard:cf /cetcompat.
function(zonbek_hardening target)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    return()
  endif()
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src/load_config.cpp)
  target_compile_options(${target} PRIVATE -mguard=cf -falign-functions=16 -fstack-protector-strong)
  get_target_property(type ${target} TYPE)
  if(NOT type STREQUAL "OBJECT_LIBRARY")
    target_link_options(${target} PRIVATE -mguard=cf -Wl,--Xlink=-cetcompat)
  endif()
endfunction()

#!/usr/bin/env bash
# Compiler launcher: relative-paths.sh SOURCE_DIR COMPILER ARG... runs the compiler with every path in
# the source tree given relative to the build directory. clang writes its whole command line into the
# CodeView build record, so an absolute path there would make the PDB differ from folder to folder.
set -euo pipefail
source_dir=$1
shift
relative=$(realpath --relative-to="$PWD" "$source_dir")
arguments=()
for argument in "$@"; do
    arguments+=("${argument//"$source_dir"\//"$relative"/}")
done
exec "${arguments[@]}"

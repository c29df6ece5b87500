#!/bin/sh
# Compiler launcher of the Windows builds: compiles a source through its
# assembly text and asks for 2-byte alignment of every function's section.
# The assembler gives a code section of the x64 target 16-byte alignment
# and pads it to that size, the x86 target 4; with a section per function
# that is several kilobytes of padding in the stub. Two bytes keep the low
# bit of a function's address free, which pointers to member functions use.
#   compile-packed.sh COMPILER ARGUMENT...   (as CMake runs a launcher)
set -eu
compiler=$1
shift
object=
compiling=no
for argument in "$@"; do
  case $argument in
    -c) compiling=yes ;;
  esac
done
previous=
for argument in "$@"; do
  [ "$previous" = -o ] && object=$argument
  previous=$argument
done
if [ $compiling = no ] || [ -z "$object" ]; then
  exec "$compiler" "$@"
fi
assembly=$object.s
# The same command with -S and the assembly text as its output.
first=yes
previous_was_o=no
for argument in "$@"; do
  if [ $first = yes ]; then set --; first=no; fi
  case $previous_was_o in
    yes) argument=$assembly ;;
  esac
  previous_was_o=no
  case $argument in
    -c) argument=-S ;;
    -o) previous_was_o=yes ;;
  esac
  set -- "$@" "$argument"
done
"$compiler" "$@"
sed -i 's/^\(\t\.section\t\.text\$[^,]*\),"x"$/\1,"x1"/' "$assembly"
"$compiler" -c "$assembly" -o "$object"
rm -f "$assembly"

#!/usr/bin/env bash
# One library's view of the source tree: the headers it may use resolve,
# those of the layers above it do not.
#   includes.sh COMPILER "INCLUDE;DIRS" ALLOWED_HEADER... -- REFUSED_HEADER...
set -u
compiler=$1 dirs=$2
# The probe reads standard input, whose quoted includes are looked for in
# the current directory first: an empty one.
empty=$(mktemp -d)
trap 'rmdir "$empty"' EXIT
cd "$empty"
shift 2
flags=()
IFS=';' read -ra list <<<"$dirs"
for dir in "${list[@]}"; do flags+=("-I$dir"); done
# Whether the header itself is found; what it includes in turn (windows.h
# for a host compiler) does not matter here.
resolves() {
  ! echo "#include \"$1\"" | "$compiler" -E -x c++ "${flags[@]}" - 2>&1 >/dev/null \
    | grep -qF "$1: No such file"
}
status=0 refusing=0
for header in "$@"; do
  if [ "$header" = -- ]; then refusing=1; continue; fi
  if [ $refusing = 0 ] && ! resolves "$header"; then
    echo "FAIL: $header should be found"; status=1
  elif [ $refusing = 1 ] && resolves "$header"; then
    echo "FAIL: $header should not be found: an include the wrong way would compile"; status=1
  fi
done
[ $status = 0 ] && echo "layer view sound: $((${#@} - 1)) headers probed"
exit $status

#!/bin/sh
# Rewrites includes of the library's public headers into the form users see:
#   #include "platform/db/session.h"  ->  #include "qvd3/platform/db/session.h"
# for the folders platform, component, data, dialogs, admin and design (the
# list of cmake/QvHeaders.cmake). Includes of tests/, tools/ and examples/
# helpers stay as they are: those are never installed.
#
# usage: namespace-includes.sh [FILE-OR-FOLDER...]
# Without arguments it rewrites every .h and .cpp of the source tree (build
# folders left out). Running it twice changes nothing the second time.
set -eu

folders='platform|component|data|dialogs|admin|design'
top=$(cd "$(dirname "$0")/../.." && pwd)
[ $# -gt 0 ] || set -- "$top"

find "$@" -type d \( -name 'build*' -o -name '.git' \) -prune -o \
  -type f \( -name '*.h' -o -name '*.cpp' \) -print |
  while IFS= read -r file; do
    if grep -Eq "^[[:space:]]*#[[:space:]]*include[[:space:]]*\"($folders)/" "$file"; then
      sed -E -i "s@^([[:space:]]*#[[:space:]]*include[[:space:]]*\")($folders)/@\\1qvd3/\\2/@" "$file"
    fi
  done

#!/usr/bin/env bash
# Checks what cmake --install puts in place from the native build: by
# default the program and its manual page alone, the local engine and
# recfile only with --component localengine; and that groff reads the manual
# page without a warning. Needs the native preset built.
#
#   bash scripts/check-install.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

step "install native"
installed_files() {
  local prefix
  prefix=$(mktemp -d)
  cmake --install build/native --prefix "$prefix" "$@" >/dev/null
  (cd "$prefix" && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ')
  rm -rf "$prefix"
}
expect_installed() {
  local want=$1 got
  shift
  got=$(installed_files "$@")
  [ "$got" = "$want" ] || die "cmake --install $*: got '$got', want '$want'"
  echo "cmake --install${*:+ $*}: $got"
}
expect_installed "bin/recmeter share/man/man1/recmeter.1 "
expect_installed "bin/liblocalengine.so bin/recfile " --component localengine

step "manual page"
warnings=$(groff -man -Tutf8 -ww doc/recmeter.1 2>&1 >/dev/null)
[ -z "$warnings" ] || die "groff warns about doc/recmeter.1:"$'\n'"$warnings"
echo "groff -man -Tutf8 -ww doc/recmeter.1: no warnings"

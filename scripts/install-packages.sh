#!/usr/bin/env bash
# Installs what the builds, the tests and bench/run.sh need from Debian 12
# (the benchmark installs nothing itself). Only the missing packages are
# installed, so a prepared machine spends no time here; installing needs
# root.
#
#   bash scripts/install-packages.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
export DEBIAN_FRONTEND=noninteractive

PACKAGES=(
  cmake make g++ libgtest-dev googletest nlohmann-json3-dev
  g++-mingw-w64-i686
  wine wine32:i386
  clang libclang-rt-14-dev
  sqlite3 hyperfine time libbenchmark-dev python3
  groff-base
  chromium-headless-shell zlib1g-dev
  g++-aarch64-linux-gnu libc6-arm64-cross libstdc++6-arm64-cross qemu-user
)

installed() {
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = installed ]
}

missing=()
for p in "${PACKAGES[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "all packages present"
  exit 0
fi
echo "installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  die "need root to install ${missing[*]}"
fi
# wine32 is an i386 package: the architecture must be known before the
# one package-list update.
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
# A mirror caught mid-sync fails an index now and then. Going on without
# it can leave the i386 and amd64 halves of a library at different
# versions, which apt refuses; so after a second failure the install uses
# the release's own suites alone, whose two halves always agree.
apt=(apt-get -q)
if ! apt-get update -q && ! { sleep 10; apt-get update -q; }; then
  echo "install-packages.sh: package lists incomplete; installing from bookworm and bookworm-updates only" >&2
  sources=$(mktemp -d)
  cat >"$sources/release.sources" <<'SOURCES'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  apt=(apt-get -q -o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$sources")
  "${apt[@]}" update
fi
# With their recommended packages, as wine has been seen to work here.
"${apt[@]}" install -y "${missing[@]}" </dev/null

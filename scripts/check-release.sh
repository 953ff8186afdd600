#!/usr/bin/env bash
# Packages the Windows build and checks both ZIPs: the release holds the
# program and its README alone, never an engine; the try-it kit holds its own
# program, the local engine, recfile and a sample made by that recfile (under
# wine), and must run. Needs the windows preset built.
#
#   bash scripts/check-release.sh
#
# Environment: WINEPREFIX (default build/wine), made by scripts/setup-wine.sh.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
use_wine

step "package windows"
rm -f build/windows/Recmeter-*.zip
(cd build/windows && cpack -G ZIP >/dev/null &&
  cpack -G ZIP --config CPackLocalEngineConfig.cmake >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows/CMakeCache.txt)
top=Recmeter-$version-win32
release=build/windows/$top.zip
kit=build/windows/$top-localengine.zip
listing=$(cmake -E tar tf "$release")
for needed in "$top/bin/RECMETER.EXE" "$top/README.TXT"; do
  grep -qx "$needed" <<<"$listing" || die "$needed missing from $release"
done
if grep -qi '\.dll$' <<<"$listing"; then
  die "$release holds a DLL: $(grep -i '\.dll$' <<<"$listing" | tr '\n' ' ')"
fi
echo "$release: $(grep -v '/$' <<<"$listing" | tr '\n' ' ')(no DLL)"

# The kit's sample (cmake/Install.cmake): 200 records from recfile gen and
# 3 added.
unpacked=$(mktemp -d)
(cd "$unpacked" && cmake -E tar xf "$ROOT/$kit")
kitrun=$(cd "$unpacked/$top-localengine" &&
  wine bin/RECMETER.EXE sample.dat /C 2>/dev/null) ||
  die "the kit's RECMETER.EXE sample.dat /C failed"
if ! grep -q $'^Total Scanned Record Count: 203\r$' <<<"$kitrun"; then
  die "unexpected report from the kit's sample:"$'\n'"$kitrun"
fi
rm -rf "$unpacked"
echo "$kit: $(cmake -E tar tf "$kit" | grep -v '/$' | sed 's|^[^/]*/||' | tr '\n' ' ')"
echo "  under wine, bin/RECMETER.EXE sample.dat /C: exit 0, $(grep -c '^ *[0-9]*[ +], ' <<<"$kitrun") sizes, Total Scanned Record Count: 203"

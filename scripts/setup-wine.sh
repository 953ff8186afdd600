#!/usr/bin/env bash
# Makes the wine prefix every Windows run shares, once (10-30 s): it does
# nothing when the prefix is ready. wineboot's own output goes to LOG
# (default: nowhere).
#
#   bash scripts/setup-wine.sh [LOG]
#
# Environment: WINEPREFIX (default build/wine).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
use_wine

log=${1:-/dev/null}
if [ -f "$WINEPREFIX/.recmeter-ready" ]; then
  exit 0
fi
echo "making the wine prefix $WINEPREFIX"
mkdir -p "$WINEPREFIX"
t0=$SECONDS
wineboot -i </dev/null >>"$log" 2>&1
wineserver -w
touch "$WINEPREFIX/.recmeter-ready"
echo "prefix made in $((SECONDS - t0)) s"

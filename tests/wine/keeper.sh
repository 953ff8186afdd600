#!/bin/sh
# Holds the wine server of $WINEPREFIX (else ~/.wine) up for a set of Windows
# tests, with its services started by none of them:
#
#   keeper.sh start STATE_DIR    (CTest's wine_up, before the first test)
#   keeper.sh stop STATE_DIR     (wine_down, after the last)
#
# The first Windows program of a server starts the prefix's services, and
# they keep that program's standard error for as long as the server lives.
# A reader that waits for the end of that stream (CTest, cmake's
# execute_process, the tests' own runner) then waits for the server's end:
# with a server started without -p a few seconds after each run, so every run
# pays them and the server comes and goes all through the suite; with a
# server kept alive by `wineserver -p`, never. Here the services are started
# by an idle cmd.exe whose streams are none of ours, and that cmd.exe, reading
# a pipe that stays silent, holds the server up until stop ends it.
set -u
state=$2
case $1 in
start)
  if ! command -v wine >/dev/null; then
    echo "no wine: nothing to keep"
    exit 0
  fi
  sh "$0" stop "$state"  # a keeper left by a run that never got to stop
  mkdir -p "$state"
  # An hour at most, should stop never come.
  setsid sh -c 'echo $$ >"$1/keeper.pid"; exec sleep 3600' sh "$state" </dev/null 2>/dev/null |
    setsid wine cmd.exe >/dev/null 2>&1 &
  # Back once the server answers and its services are up.
  if ! wine cmd.exe /c exit </dev/null >/dev/null 2>&1; then
    echo "wine cmd.exe /c exit failed" >&2
    exit 1
  fi
  echo "wine server of ${WINEPREFIX:-~/.wine} held up by an idle cmd.exe"
  ;;
stop)
  if [ -f "$state/keeper.pid" ]; then
    kill "$(cat "$state/keeper.pid")" 2>/dev/null
    rm -f "$state/keeper.pid"
  fi
  ;;
*)
  echo "usage: keeper.sh start|stop STATE_DIR" >&2
  exit 2
  ;;
esac

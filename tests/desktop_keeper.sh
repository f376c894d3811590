#!/usr/bin/env bash
# desktop_keeper.sh start|stop WINE_RUN PREFIX KEEPER_EXE
# Starts the desktop keeper detached from ctest (it must not hold the test's output open), or stops it.
set -euo pipefail
action=$1 wine_run=$2 prefix=$3 keeper=$4
case $action in
  start) setsid "$wine_run" "$prefix" "$keeper" </dev/null >/dev/null 2>&1 & ;;
  stop) "$wine_run" "$prefix" "$keeper" --stop ;;
  *) echo "usage: $0 start|stop WINE_RUN PREFIX KEEPER_EXE" >&2; exit 2 ;;
esac

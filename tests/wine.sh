#!/usr/bin/env bash
# Wine for the Windows leg of the tests, one prefix and one server per test run:
#   wine.sh start STATE        makes a Wine prefix in a temporary folder, starts its server and
#                              writes the prefix's path to STATE
#   wine.sh run STATE CMD...   runs CMD with that prefix (WINEPREFIX, quiet WINEDEBUG)
#   wine.sh stop STATE         stops the server and everything in the prefix, removes it
set -euo pipefail
what=$1 state=$2
shift 2
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
wine64=/usr/lib/wine/wine64
export WINEDEBUG=-all
case $what in
start)
    export WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/ulocfg-wine-XXXXXX")
    echo "$WINEPREFIX" > "$state"
    began=$(date +%s%N)
    # The server stays while the tests run (and a minute past the last program, should the run
    # be cut short).
    "$wineserver" -p60 >/dev/null 2>&1
    "$wine64" wineboot --init >/dev/null 2>&1
    # Wine stops its own services a moment after the last program has ended and starts them
    # again, in seconds, with the next one: a command prompt waiting on a pipe keeps them up.
    # The writer, a sleep, ends with the run's time limit at the latest.
    mkfifo "$WINEPREFIX/hold"
    sleep 3600 > "$WINEPREFIX/hold" 2>/dev/null &
    echo $! > "$WINEPREFIX/hold.pid"
    "$wine64" cmd.exe < "$WINEPREFIX/hold" >/dev/null 2>&1 &
    echo "Wine prefix $WINEPREFIX ready in $(( ($(date +%s%N) - began) / 1000000 )) ms"
    ;;
run)
    export WINEPREFIX=$(cat "$state")
    exec "$@"
    ;;
stop)
    export WINEPREFIX=$(cat "$state")
    [ -f "$WINEPREFIX/hold.pid" ] && kill "$(cat "$WINEPREFIX/hold.pid")" 2>/dev/null || true
    "$wineserver" -k >/dev/null 2>&1 || true
    case $WINEPREFIX in */ulocfg-wine-*) rm -rf "$WINEPREFIX" ;; esac
    rm -f "$state"
    ;;
esac

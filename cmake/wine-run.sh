#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest: a quiet, private prefix that is
# created on first use, without the Mono/Gecko installers asking anything.
set -u
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEPREFIX=${WINEPREFIX:-${HOME:-/root}/.wine-voderer}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    # Several tests may start at once: one of them makes the prefix.
    (
        flock 9
        [ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1; wineserver -w; }
    ) 9>"$WINEPREFIX.lock"
fi
# A wineserver that quits while the next test connects fails that test with
# "recvmsg: Connection reset by peer": keep one up for the whole test run. A
# second call finds it running and returns at once.
wineserver -p 30 >/dev/null 2>&1 || true
exec wine "$@"

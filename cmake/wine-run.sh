#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest: a quiet, private prefix that is
# created on first use, without the Mono/Gecko installers asking anything.
set -u
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEPREFIX=${WINEPREFIX:-${HOME:-/root}/.wine-voderer}
# Wine makes Unix file names in the locale's encoding: with no locale set at
# all (a bare container), a Hangul name could not be made. A locale the
# caller set (the window tests' sessions) is kept.
[ -z "${LC_ALL:-}${LC_CTYPE:-}${LANG:-}" ] && export LANG=C.UTF-8
mkdir -p "$WINEPREFIX"
# Several tests may start at once: one of them makes the prefix and starts the
# wineserver. Nothing started here may keep the lock (fd 9) or a test's output:
# Wine's background programs outlive the test, and ctest waits for its output
# to close. The server stays up 30 s after the last program, so a test never
# connects to one that is quitting ("recvmsg: Connection reset by peer").
(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot -i >/dev/null 2>&1 </dev/null 9>&-
        wineserver -w 9>&-
    fi
    if wineserver -p30 >/dev/null 2>&1 </dev/null 9>&-; then
        wine wineboot >/dev/null 2>&1 </dev/null 9>&-
    fi
) 9>"$WINEPREFIX.lock"
exec wine "$@"

#!/bin/sh
# Runs a Windows test program that opens windows (tests/winapp/) under Wine
# on a display of its own: xvfb-run starts a virtual X server for the run,
# and the run makes a fresh Wine prefix and home folder inside a temporary
# folder of its own, removed at the end (never ~/.wine, never the display or
# home of the one who builds). Everything else as cmake/wine-run.sh does for
# the console programs: no debug channels, no crash debugger, no Mono or
# Gecko installers, no menu entries written for the Linux desktop.
#
#   wine-window-run.sh [--system-dll DOUBLE.dll] PROGRAM.exe [ARG...]
#
# --system-dll puts a test double in place of the system DLL of the same
# name in the run's prefix (C:\windows\system32) and has Wine load it
# instead of its own.
#
# Exits with the program's exit code (Wine hands on its low 8 bits), 125
# when the run itself cannot be set up.
set -eu

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

fail() {
  echo "wine-window-run: $*" >&2
  exit 125
}

[ $# -ge 1 ] || fail "usage: wine-window-run.sh [--system-dll DOUBLE.dll] PROGRAM.exe [ARG...]"
[ -x "${wine}" ] || fail "${wine} is missing (install wine64)"
if [ -z "${NOMVERA_WINE_WINDOW_DISPLAY-}" ]; then
  command -v xvfb-run >/dev/null || fail "xvfb-run is missing (install xvfb and xauth)"
  # Once more, inside a virtual X server of this run alone.
  NOMVERA_WINE_WINDOW_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

double=
if [ "$1" = --system-dll ]; then
  [ $# -ge 3 ] || fail "usage: wine-window-run.sh [--system-dll DOUBLE.dll] PROGRAM.exe [ARG...]"
  double=$2
  [ -f "${double}" ] || fail "no DLL ${double}"
  shift 2
fi
program=$1
shift
case ${program} in
/*) ;;
*) program=$(pwd)/${program} ;;
esac
[ -f "${program}" ] || fail "no program ${program}"

folder=$(mktemp -d "${TMPDIR:-/tmp}/nomvera-wine-window.XXXXXX") || fail "cannot make a temporary folder"
cleanup() {
  "${wineserver}" -k </dev/null >/dev/null 2>&1 || true
  "${wineserver}" -w </dev/null >/dev/null 2>&1 || true
  rm -rf -- "${folder}"
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP

mkdir "${folder}/home"
unset WAYLAND_DISPLAY XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR
WINEDEBUG=-all
WINEDLLOVERRIDES='winedbg.exe,winemenubuilder.exe=d;mscoree,mshtml='
WINEPREFIX=${folder}/prefix
HOME=${folder}/home
export WINEDEBUG WINEDLLOVERRIDES WINEPREFIX HOME

if ! "${wine}" wineboot --init </dev/null >"${folder}/wineboot.log" 2>&1; then
  cat "${folder}/wineboot.log" >&2
  fail "wineboot failed"
fi
# Wine draws the windows' frames and title bars itself (there is no window
# manager on the virtual display), so a picture of a window shows them.
"${wine}" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f </dev/null >/dev/null 2>&1 ||
  fail "cannot set up the prefix"

if [ -n "${double}" ]; then
  name=$(basename "${double}" .dll)
  cp -- "${double}" "${WINEPREFIX}/drive_c/windows/system32/${name}.dll" || fail "cannot place ${double}"
  WINEDLLOVERRIDES="${WINEDLLOVERRIDES};${name}=n"
fi

status=0
"${wine}" "${program}" "$@" || status=$?
exit "${status}"

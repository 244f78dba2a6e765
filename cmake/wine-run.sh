#!/bin/sh
# Runs a Windows program of the build under Wine (wine64, headless, no debug
# output) and exits with the program's exit code. ctest starts every .exe
# through it (the toolchain's CMAKE_CROSSCOMPILING_EMULATOR).
#
#   wine-run.sh [--prefix-file FILE] [--exit-status HELPER.exe] PROGRAM.exe [ARG...]
#   wine-run.sh --make-prefix FILE      (the ctest fixture's setup)
#   wine-run.sh --remove-prefix FILE    (the ctest fixture's cleanup)
#
# Wine never sees the user's ~/.wine, home folder or display: every run uses
# a Wine prefix and a home folder inside a temporary folder that the run made
# itself. A fresh prefix costs about 5 s (wineboot) and 700 MB, so ctest makes
# one per test run (--make-prefix, with a wineserver that outlives the single
# programs, so each program starts in about 0.1 s instead of 1 s) and every
# test program uses it (--prefix-file names the file that holds its folder).
# Without that file (a program run by hand) the run makes a prefix of its
# own and removes it at the end.
#
# Wine hands only the low 8 bits of an exit code to Linux: an exception code
# such as 0xC0000005 would arrive as 5, and 0x100 as 0, a success. With
# --exit-status the program is started by a small Windows program of the
# build that reads the full code: 0 to 255 come through as they are, any
# other code is printed in hex and gives 255.
set -eu

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
# A prefix the fixture made stays served this many seconds after its last
# program ended; the cleanup ends the wineserver at once.
server_seconds=60

fail() {
  echo "wine-run: $*" >&2
  exit 125
}

# The environment every Wine process of a run gets: no display (console
# programs need none, and nothing may open a window on the desktop of the
# one who builds), no debug channels, no crash debugger (it would swallow
# the exception code and give 0), no Mono or Gecko installers, no menu
# entries or file associations written for the Linux desktop, and a home
# folder of the run's own, so the prefix's Documents, Desktop and the other
# shell folders never lead into the user's home.
wine_environment() {
  unset DISPLAY WAYLAND_DISPLAY XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR
  WINEDEBUG=-all
  WINEDLLOVERRIDES='winedbg.exe,winemenubuilder.exe=d;mscoree,mshtml='
  WINEPREFIX=$1/prefix
  HOME=$1/home
  export WINEDEBUG WINEDLLOVERRIDES WINEPREFIX HOME
}

# A new temporary folder with an initialised Wine prefix in it, served by a
# wineserver that stays $1 seconds after its last client. Prints
# the folder. Wine's own processes never keep the caller's output open.
new_prefix() {
  folder=$(mktemp -d "${TMPDIR:-/tmp}/nomvera-wine.XXXXXX") || fail "cannot make a temporary folder"
  mkdir "${folder}/home"
  : >"${folder}/.nomvera-wine-run"
  (
    wine_environment "${folder}"
    "${wineserver}" -p"$1" </dev/null >/dev/null 2>&1
    # wineboot reports a missing 32-bit part (no wine32) and the new
    # configuration; neither matters to a 64-bit console program.
    if ! "${wine}" wineboot --init </dev/null >"${folder}/wineboot.log" 2>&1; then
      cat "${folder}/wineboot.log" >&2
      exit 1
    fi
  ) || {
    remove_prefix "${folder}"
    fail "wineboot failed"
  }
  echo "${folder}"
}

# Ends every Wine process of the folder's prefix and removes the folder, but
# only a folder that new_prefix made: a real folder (not a link) of this user
# with its marker file. The shared temporary folder may hold a folder of that
# name that another account made after ours was gone (a reboot cleared it
# while the build still records it); that one is never entered or removed.
remove_prefix() {
  [ -d "$1" ] && [ ! -L "$1" ] && [ -O "$1" ] && [ -f "$1/.nomvera-wine-run" ] || return 0
  (
    wine_environment "$1"
    "${wineserver}" -k </dev/null >/dev/null 2>&1 || true
    "${wineserver}" -w </dev/null >/dev/null 2>&1 || true
  )
  rm -rf -- "$1"
}

# The prefix folder named in a fixture's file, if it still is one.
recorded_prefix() {
  [ -f "$1" ] || return 0
  recorded=$(cat "$1")
  case ${recorded} in
  */../* | */..) return 0 ;;
  "${TMPDIR:-/tmp}"/nomvera-wine.*) ;;
  *) return 0 ;;
  esac
  if [ -f "${recorded}/.nomvera-wine-run" ]; then
    echo "${recorded}"
  fi
}

case ${1-} in
--make-prefix)
  [ $# -eq 2 ] || fail "usage: --make-prefix FILE"
  # A run stopped before its cleanup left its prefix behind: remove it first.
  old=$(recorded_prefix "$2")
  [ -z "${old}" ] || remove_prefix "${old}"
  rm -f -- "$2"
  started=$(date +%s)
  folder=$(new_prefix "${server_seconds}")
  echo "${folder}" >"$2"
  echo "wine-run: prefix ${folder}/prefix made in $(($(date +%s) - started)) s"
  exit 0
  ;;
--remove-prefix)
  [ $# -eq 2 ] || fail "usage: --remove-prefix FILE"
  old=$(recorded_prefix "$2")
  [ -z "${old}" ] || remove_prefix "${old}"
  rm -f -- "$2"
  exit 0
  ;;
esac

prefix_file=
helper=
while [ $# -gt 0 ]; do
  case $1 in
  --prefix-file)
    prefix_file=$2
    shift 2
    ;;
  --exit-status)
    helper=$2
    shift 2
    ;;
  *) break ;;
  esac
done
[ $# -ge 1 ] || fail "usage: wine-run.sh [--prefix-file FILE] [--exit-status HELPER.exe] PROGRAM.exe [ARG...]"
[ -x "${wine}" ] || fail "${wine} is missing (install wine64)"

program=$1
shift
case ${program} in
/*) ;;
*) program=$(pwd)/${program} ;;
esac
[ -f "${program}" ] || fail "no program ${program}"

folder=
if [ -n "${prefix_file}" ]; then
  folder=$(recorded_prefix "${prefix_file}")
fi
own=
if [ -z "${folder}" ]; then
  # No fixture: a prefix of this run alone, gone when it ends (also when
  # ctest stops it at its time limit).
  folder=$(new_prefix 0)
  own=${folder}
  trap 'remove_prefix "${own}"' EXIT
  trap 'exit 143' TERM INT HUP
fi

wine_environment "${folder}"
status=0
if [ -n "${helper}" ]; then
  # The helper takes the rest of its command line as the program's; Wine's
  # drive Z: is the Linux root.
  "${wine}" "${helper}" "Z:${program}" "$@" || status=$?
else
  "${wine}" "${program}" "$@" || status=$?
fi
exit "${status}"

#!/bin/sh
# The Wine runner's cleanup of a prefix folder recorded by an earlier run:
# it removes a folder it made itself, and never one that another account put
# under that name into the shared temporary folder (after a reboot cleared
# ours), nor what a link of that name leads to. Needs root (the other
# account's folder is made for uid 65534).
set -eu
runner=$1
[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root to make another account's folder"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/nomvera-wine-run-test.XXXXXX")
trap 'rm -rf -- "${work}"' EXIT
chmod 1777 "${work}"
failed=0
check() { # description, condition...
  what=$1
  shift
  if "$@"; then echo "ok: ${what}"; else echo "FAILED: ${what}"; failed=1; fi
}
cleanup_of() { # the recorded folder
  echo "$1" >"${work}/prefix-file"
  TMPDIR=${work} "${runner}" --remove-prefix "${work}/prefix-file" >/dev/null 2>&1
}

# Another account's folder of the runner's name, with the marker.
planted=${work}/nomvera-wine.planted
mkdir "${planted}"
: >"${planted}/.nomvera-wine-run"
: >"${planted}/theirs"
chown -R 65534:65534 "${planted}"
cleanup_of "${planted}"
check "another account's folder is left alone" test -f "${planted}/theirs"
check "the record is gone" test ! -e "${work}/prefix-file"

# A link of the runner's name to a folder with the marker.
target=${work}/target
mkdir "${target}"
: >"${target}/.nomvera-wine-run"
: >"${target}/kept"
ln -s "${target}" "${work}/nomvera-wine.link"
cleanup_of "${work}/nomvera-wine.link"
check "a link is not followed" test -f "${target}/kept"

# The runner's own folder goes.
own=${work}/nomvera-wine.own
mkdir -m 0700 "${own}"
: >"${own}/.nomvera-wine-run"
cleanup_of "${own}"
check "its own folder is removed" test ! -e "${own}"

exit "${failed}"

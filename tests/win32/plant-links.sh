#!/bin/sh
# Plants, from the Linux side, the links and the folder of another owner that
# the Windows tests of links need (install_links_win_test.cpp), then runs the
# command given. Wine's cmd makes no junction, and Wine keeps no owner set from
# Windows; a Unix symbolic link is what Wine shows as a link (a reparse point),
# and a Unix owner other than Wine's own user is what it shows as another
# account. The layout is made afresh for every run: the tests use it up.
#   plant-links.sh DIR command [args...]
set -eu
d=$1
shift
rm -rf "$d"
mkdir -p "$d/outside/deep" "$d/pkg" "$d/swap" "$d/theirs"
printf "someone else's" >"$d/outside/precious.txt"
printf "not ours" >"$d/outside/deep/data.bin"
chmod 755 "$d/outside" "$d/outside/deep"
chmod 644 "$d/outside/precious.txt" "$d/outside/deep/data.bin"
for name in grant-link copy-link delete-link swap/sub; do ln -s "$d/outside" "$d/$name"; done
printf a >"$d/pkg/a.dll"
ln -s "$d/outside" "$d/pkg/junction"
printf a >"$d/swap/a.dll"
printf theirs >"$d/theirs/theirs.txt"
chown -R 65534:65534 "$d/theirs"
export KLV_LINKS_DIR="$d"
exec "$@"

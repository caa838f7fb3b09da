#!/bin/sh
# Fetches the VT323 font (SIL Open Font License) from the npm package
# @expo-google-fonts/vt323 and installs it as assets/fonts/VT323-Regular.ttf
# with its licence beside it. Run from anywhere; needs npm.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
npm pack --silent @expo-google-fonts/vt323 > pack.txt
tar -xzf "$(tail -n 1 pack.txt)"
mkdir -p "$root/assets/fonts"
cp package/400Regular/VT323_400Regular.ttf "$root/assets/fonts/VT323-Regular.ttf"
cp package/LICENSE_FONT "$root/assets/fonts/VT323-LICENSE.txt"
echo "wrote assets/fonts/VT323-Regular.ttf and assets/fonts/VT323-LICENSE.txt"

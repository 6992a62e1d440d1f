#!/bin/sh
# Installs every Debian package that building, running and testing Morvellin needs.
# This list is the one place that names them; the README's commands and CI call this script.
set -eu

packages="
  build-essential cmake ninja-build pkg-config
  libcurl4-openssl-dev libpcre2-dev
  libgtkmm-3.0-dev libwebkit2gtk-4.1-dev libsoup-3.0-dev
  ca-certificates fonts-noto-cjk
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
  clang libclang-rt-14-dev
  xvfb xauth xclip xdotool imagemagick curl
"

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends $missing

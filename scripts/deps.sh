#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need,
# only those that are missing. Runs as root (or through sudo when present).
set -euo pipefail

packages=(cmake make g++ pkg-config python3 tmux libncurses-dev libgtest-dev
          libcurl4-openssl-dev libgumbo-dev libicu-dev ca-certificates
          dpkg-dev file man-db groff-base clang-format zlib1g-dev libssl-dev haproxy)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null && sudo=sudo
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}"

#!/usr/bin/env bash
# Installs Debian packages when they are missing: those named on the command
# line, or else the ones the build and the tests need.
set -euo pipefail

if (($#)); then
  packages=("$@")
else
  packages=(cmake make g++ pkg-config libgtest-dev libgmock-dev
            libudfread-dev libiso9660-dev libburn-dev xorriso udftools 7zip
            genisoimage clang-format clang python3)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' \
    || missing+=("$p")
done
if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

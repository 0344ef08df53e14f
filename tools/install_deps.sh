#!/usr/bin/env bash
# Installs the system packages the build needs (`install_deps.sh build`) or the
# build and the tests (`install_deps.sh test`, the default), once: packages
# already present are not touched, so repeated runs cost nothing.
set -euo pipefail
packages=(g++ zlib1g-dev liblz4-dev)
if [ "${1:-test}" = test ]; then
  packages+=(libgtest-dev clang libclang-rt-14-dev gtkwave iverilog)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

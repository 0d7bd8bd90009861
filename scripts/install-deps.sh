#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; does nothing
# when all of them are already there.
set -euo pipefail

packages=(cmake make g++ pkg-config liblog4cplus-dev libssl-dev libinih-dev libgtest-dev libgmock-dev)
if [ "${BTS_WITH_BENCH:-0}" = 1 ]; then
  packages+=(libbenchmark-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

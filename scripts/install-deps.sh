#!/usr/bin/env bash
# Installs the Debian packages that the build, the demo and the tests need;
# does nothing when all of them are already there. Runs as root or through sudo.
set -euo pipefail

packages=(
  cmake make g++ pkg-config                      # the build
  python3                                        # the layering check
  liblog4cplus-dev libssl-dev libinih-dev        # the module
  libboost1.74-dev                               # the RPC front (HTTP through Beast, headers only)
  nlohmann-json3-dev libcli11-dev                # btshell
  libtorrent-rasterbar-dev                       # the kernel module
  libgtest-dev libgmock-dev                      # the unit and integration tests
  opentracker                                    # interoperability tests: a tracker and the independent clients
  aria2 transmission-daemon transmission-cli rtorrent ctorrent
  mktorrent                                      # create: its info dictionaries are compared with ours
  clang libclang-rt-14-dev                       # fuzz targets (libFuzzer)
  valgrind                                       # leak checks of the whole-module scenarios
  nodejs                                         # the web page's modules, tested under node
)
if [ "${BTS_WITH_BENCH:-0}" = 1 ]; then
  packages+=(libbenchmark-dev)
fi

# One query for all of them: a no-op run stays quick.
installed=" $(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null |
  awk '$2 == "ii" { printf "%s ", $1 }' || true) "
missing=()
for p in "${packages[@]}"; do
  if [[ "$installed" != *" $p "* ]]; then
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

# transmission-daemon's package starts a system-wide daemon (DHT on, a port
# open to the world); the tests start their own, so that one stays off.
if [[ " ${missing[*]} " == *" transmission-daemon "* ]] && [ -d /run/systemd/system ]; then
  "${sudo_cmd[@]}" systemctl disable --now transmission-daemon.service || true
fi

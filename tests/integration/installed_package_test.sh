#!/usr/bin/env bash
# installed_package_test.sh CMAKE CXX BUILD_DIR SOURCE_DIR
#
# Installs BUILD_DIR into a temporary prefix, then, in a temporary folder and
# against the installed package only, builds examples/host (find_package) and
# runs it on a sample seed; checks the info hash and the module's version,
# that every installed header compiles on its own, the pkg-config file, and
# that the installed btshell finds the installed modules.
set -euo pipefail
cmake=$1 cxx=$2 build=$3 src=$4
work=$(mktemp -d "${TMPDIR:-/tmp}/bt_shell-sdk.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "installed_package_test: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
cp -r "$src/examples/host" "$work/host"
cp "$src/examples/single_file.torrent" "$work/"

"$cmake" -S "$work/host" -B "$work/host-build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
"$cmake" --build "$work/host-build" >/dev/null
out=$("$work/host-build/minimal_host" "$work/single_file.torrent")
echo "$out"
grep -qx 'info hash: 6DB97605E9A1C978F6B6305F02C38FA4B32C1676' <<<"$out" || fail "wrong info hash"
grep -qx 'module version: 1.0.1.9' <<<"$out" || fail "wrong module version"

include=$prefix/include/bt_shell
while IFS= read -r header; do
  printf '#include "%s"\n' "$header" |
    "$cxx" -std=c++17 -Wall -Wextra -Werror -fsyntax-only -I "$include" -x c++ - || fail "$header does not compile alone"
done < <(cd "$include" && find . -name '*.h' | sed 's#^\./##' | sort)

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
[ "$(pkg-config --modversion bt_shell)" = 1.0.1.9 ] || fail "pkg-config version"
[ -f "$(pkg-config --variable=module bt_shell)" ] || fail "pkg-config module path"

# The installed btshell loads the installed module, which reads its
# bt_shell.ini, and installs the installed recording kernel for lazy-kernel.
versions=$("$prefix/bin/btshell" --version)
grep -qx "plugin module 1.0.1.9  $prefix/lib/bt_shell/libbt_shell.so" <<<"$versions" || fail "btshell: $versions"
story=$("$prefix/bin/btshell" lazy-kernel "$work/single_file.torrent" "$work/data")
grep -q "requested bt_kernel 1.0; 1 pending" <<<"$story" || fail "btshell lazy-kernel: $story"
grep -q "kernel tasks: 1 created, 0 alive" <<<"$story" || fail "btshell lazy-kernel: $story"
# Asking for another kernel version runs a private copy of the module, which
# must still find the libraries installed beside it.
story=$("$prefix/bin/btshell" --kernel-version 1.2 lazy-kernel "$work/single_file.torrent" "$work/data2" 2>&1) ||
  fail "btshell --kernel-version 1.2 lazy-kernel: $story"
grep -q "requested bt_kernel 1.2; 1 pending" <<<"$story" || fail "btshell --kernel-version 1.2 lazy-kernel: $story"

# ... and the installed kernel on libtorrent, with its bt_kernel.ini beside it,
# for download (its settings made loopback-only here). The sample seed's data
# is complete, so the download ends once it is checked.
kernel_dir=$prefix/lib/bt_shell/kernels/libtorrent
[ -f "$kernel_dir/libbt_kernel.so" ] && [ -f "$kernel_dir/bt_kernel.ini" ] || fail "no kernel on libtorrent installed"
printf '[session]\nlisten_interfaces = 127.0.0.1:0\ndht = 0\nlocal_peer_discovery = 0\nupnp = 0\nnatpmp = 0\n' \
  >"$kernel_dir/bt_kernel.ini"
mkdir "$work/hello"
(set +o pipefail; yes hello.txt | head -c 100000 >"$work/hello/hello.txt")
report=$("$prefix/bin/btshell" download --json "$work/single_file.torrent" "$work/hello" 2>&1) ||
  fail "btshell download: $report"
grep -q '"result": "complete"' <<<"$report" || fail "btshell download: $report"

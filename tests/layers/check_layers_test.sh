#!/usr/bin/env bash
# The layering check on a copy of the tree: it passes as the tree is, and
# fails, naming the file, once an upward include or an include loop is planted.
set -euo pipefail
source_root=$(cd "$(dirname "$0")/../.." && pwd)
check="$source_root/scripts/check_layers.py"
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
mkdir -p "$copy/cmake"
cp "$source_root/cmake/layers.txt" "$copy/cmake/"
for folder in $(sed -n 's/^\([^#][^:]*\):.*/\1/p' "$source_root/cmake/layers.txt"); do
  mkdir -p "$copy/$(dirname "$folder")"
  cp -r "$source_root/$folder" "$copy/$folder"
done

expect_refusal() {  # what was planted, the text the check must print
  local out
  if out=$("$check" "$copy"); then
    echo "FAIL: the check passed with $1 planted"; exit 1
  fi
  grep -qF "$2" <<<"$out" || { echo "FAIL: $1: the check did not say \"$2\":"; echo "$out"; exit 1; }
  echo "ok: $1 refused: $(grep -F "$2" <<<"$out" | head -1)"
}

"$check" "$copy" >/dev/null || { echo "FAIL: the unchanged copy does not pass"; exit 1; }

cp "$copy/common/qvnew.cpp" "$copy/qvnew.cpp.orig"
echo '#include "bt_shell/BtShell.h"' >>"$copy/common/qvnew.cpp"
expect_refusal "an upward include" 'common/qvnew.cpp:'
cp "$copy/qvnew.cpp.orig" "$copy/common/qvnew.cpp"

echo '#include "host/download_lib/download_lib.h"' >>"$copy/kernel/kernel_session.h"
expect_refusal "a sideways include" 'kernel may not see host/download_lib'
sed -i '$d' "$copy/kernel/kernel_session.h"

printf '#pragma once\n#include "common/loop_b.h"\n' >"$copy/common/loop_a.h"
printf '#pragma once\n#include "common/loop_a.h"\n' >"$copy/common/loop_b.h"
expect_refusal "an include loop" 'in a loop: common/loop_a.h -> common/loop_b.h -> common/loop_a.h'

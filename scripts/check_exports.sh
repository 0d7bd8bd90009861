#!/usr/bin/env bash
# check_exports.sh MODULE SYMBOL...: the module's defined dynamic symbols are
# exactly the given ones.
set -euo pipefail
module=$1
shift
actual=$(nm -D --defined-only "$module" | awk '{print $3}' | sort)
expected=$(printf '%s\n' "$@" | sort)
if [ "$actual" != "$expected" ]; then
  echo "exports of $module differ:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "exports of $module: $(echo $actual)"

#!/usr/bin/env bash
# README.md opens with its title and, right after it, the two commands a newcomer runs first:
# the demo and every test. Whatever else the README says comes after them.
set -euo pipefail
readme="$1"
expected=$'# Velkor\n\n```sh\nscripts/demo.sh #\nscripts/test.sh #\n```'
actual="$(head -n 6 "$readme" | sed -E 's/^(scripts\/[a-z]+\.sh) +#.*/\1 #/')"
if [ "$actual" != "$expected" ]; then
  echo "README.md no longer opens with the title and the two commands:"
  diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") || true
  exit 1
fi
for script in scripts/demo.sh scripts/test.sh; do
  [ -x "$(dirname "$readme")/$script" ] || { echo "$script is not an executable file"; exit 1; }
done
echo "README.md opens with the two commands"

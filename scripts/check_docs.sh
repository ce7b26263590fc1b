#!/usr/bin/env bash
# Runs the shell blocks of README.md and docs/*.md that are marked runnable, as written, and
# checks what they print.
#
# A block opened with "```sh runnable" runs with bash (-e, pipefail) in a scratch folder that
# holds a link to each top-level entry of the tree, so the commands see the tree as they would
# from its root while what they write stays in the scratch folder. When the next block (after
# blank lines only) is opened with "```text output", each of its lines must appear in the
# block's output as a whole line, in that order; a line "..." stands for any lines.
#
#   scripts/check_docs.sh [--host PATH] [FILE...]
#     --host PATH  use PATH as build/src/velkor-host and skip the blocks that call scripts/
#                  (they install and build; CI runs them through scripts/test.sh)
set -euo pipefail
ROOT="$(cd -P "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

host=""
files=()
while [ $# -gt 0 ]; do
  case "$1" in
    --host) host="$(realpath "$2")"; shift 2 ;;
    *) files+=("$1"); shift ;;
  esac
done
if [ ${#files[@]} -eq 0 ]; then
  files=("$ROOT/README.md")
  for f in "$ROOT"/docs/*.md; do files+=("$f"); done
fi

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

# Splits a Markdown file into numbered runnable blocks: $1/<n>.sh, $1/<n>.line and, when an
# output block follows, $1/<n>.out.
split_blocks() {
  awk -v dir="$1" '
    function close_block() { if (file != "") close(file); file = "" }
    state == "" && /^```sh runnable[ \t]*$/ { n++; file = dir "/" n ".sh"; print NR > (dir "/" n ".line");
                                             close(dir "/" n ".line"); state = "run"; next }
    state == "run" && /^```[ \t]*$/ { close_block(); state = "after"; next }
    state == "run" { print > file; next }
    state == "after" && /^[ \t]*$/ { next }
    state == "after" && /^```text output[ \t]*$/ { file = dir "/" n ".out"; printf "" > file; state = "out"; next }
    state == "after" { state = "" }
    state == "out" && /^```[ \t]*$/ { close_block(); state = ""; next }
    state == "out" { print > file; next }
  ' "$2"
}

# Each expected line as a whole line of the output, in order; "..." skips any lines.
check_output() {
  awk '
    NR == FNR { if ($0 != "...") want[++n] = $0; next }
    i < n && $0 == want[i + 1] { i++ }
    END { if (i < n) { print "missing from the output: " want[i + 1]; exit 1 } }
  ' "$1" "$2"
}

make_scratch() {
  local dir="$1"
  mkdir -p "$dir"
  for entry in "$ROOT"/* "$ROOT"/.ci; do
    local name; name="$(basename "$entry")"
    if [ -n "$host" ] && [ "$name" = build ]; then continue; fi
    ln -s "$entry" "$dir/$name"
  done
  if [ -n "$host" ]; then
    mkdir -p "$dir/build/src"
    ln -s "$host" "$dir/build/src/velkor-host"
  fi
}

failed=0
ran=0
skipped=0
for doc in "${files[@]}"; do
  name="${doc#"$ROOT"/}"
  blocks="$scratch/blocks/$name"
  mkdir -p "$blocks"
  split_blocks "$blocks" "$doc"
  for script in "$blocks"/*.sh; do
    [ -e "$script" ] || continue
    n="$(basename "$script" .sh)"
    line="$(cat "$blocks/$n.line")"
    where="$name:$line"
    if [ -n "$host" ] && grep -q 'scripts/' "$script"; then
      echo "doc commands: $where skipped (it builds; scripts/test.sh runs it)"
      skipped=$((skipped + 1))
      continue
    fi
    work="$scratch/run/$name/$n"
    make_scratch "$work"
    status=0
    (cd "$work" && bash -e -o pipefail "$script") >"$work.log" 2>&1 || status=$?
    ran=$((ran + 1))
    if [ $status -ne 0 ]; then
      echo "doc commands: $where FAILED with status $status:"
      tail -n 40 "$work.log"
      failed=$((failed + 1))
    elif [ -e "$blocks/$n.out" ] && ! check_output "$blocks/$n.out" "$work.log"; then
      echo "doc commands: $where printed something else; its output:"
      tail -n 40 "$work.log"
      failed=$((failed + 1))
    else
      echo "doc commands: $where ok"
    fi
  done
done
echo "doc commands: $ran run, $skipped skipped, $failed failed"
[ $failed -eq 0 ] && [ $ran -gt 0 ]

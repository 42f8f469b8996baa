#!/usr/bin/env bash
# Fast checks before the Wine suite: folder arrows and function length over the whole tree,
# then the format and clang-tidy of what changed since CHECK_BASE (default: where this branch
# left main, or the last commit on main itself). Ends with a self-test that plants each fault
# in a scratch clone and expects the check to fail on it.
#   scripts/check.sh              all checks, then the self-test
#   CHECK_TIDY=0 scripts/check.sh skip clang-tidy (the self-test does: planted files have no build)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

base=${CHECK_BASE:-}
if [ -z "$base" ]; then
  if [ "$(git rev-parse HEAD)" != "$(git rev-parse main 2>/dev/null || true)" ] && git rev-parse -q --verify main >/dev/null; then
    base=$(git merge-base HEAD main)
  elif git rev-parse -q --verify HEAD~1 >/dev/null; then
    base=HEAD~1
  fi
fi
changed=()
if [ -z "$base" ]; then
  # A shallow clone of one commit: nothing to compare with, so only the whole-tree rules run.
  echo "check: no earlier commit here; format, clang-tidy and subjects are checked on a clone with history"
  base=HEAD
fi
while IFS= read -r f; do
  case "$f" in *.c|*.cpp|*.h) [ -f "$f" ] && changed+=("$f") ;; esac
done < <( (git diff --name-only --diff-filter=d "$base"; git ls-files --others --exclude-standard) | sort -u)

status=0
echo "== check: folder arrows and function length"
python3 scripts/check_source.py || status=1

echo "== check: commit subjects since the base (at most 72 characters)"
while IFS= read -r subject; do
  if [ ${#subject} -gt 72 ]; then echo "check: subject of ${#subject} characters: $subject"; status=1; fi
done < <(git log --format=%s "$base..HEAD" 2>/dev/null || true)

echo "== check: format of lines changed since $(git rev-parse --short "$base" 2>/dev/null || echo "$base")"
untracked=$(git ls-files --others --exclude-standard -- '*.c' '*.cpp' '*.h')
tracked=()
for f in "${changed[@]}"; do grep -qxF -- "$f" <<<"$untracked" || tracked+=("$f"); done
format_failed=0
if [ ${#tracked[@]} -gt 0 ]; then
  format_diff=$(git clang-format --quiet --diff "$base" -- "${tracked[@]}" 2>&1 || true)
  if [ -n "$format_diff" ] && ! grep -qE '^(no modified files|clang-format did not modify)' <<<"$format_diff"; then
    printf '%s\n' "$format_diff"
    format_failed=1
  fi
fi
# A file git does not know yet is new in every line.
if [ -n "$untracked" ] && ! clang-format --dry-run --Werror $untracked; then format_failed=1; fi
if [ $format_failed -ne 0 ]; then
  echo "check: changed lines are not formatted as .clang-format says (git clang-format $base applies it)"
  status=1
fi

if [ "${CHECK_TIDY:-1}" != 0 ] && [ ${#changed[@]} -gt 0 ]; then
  echo "== check: clang-tidy of changed files"
  if [ ! -f build/native/compile_commands.json ]; then
    source scripts/common.sh
    ensure_setup
    cmake --preset native >/dev/null
  fi
  # Only what the native preset compiles has a command line clang-tidy can use.
  mapfile -t tidy < <(python3 - "${changed[@]}" <<'EOF'
import json, os, sys
known = {os.path.relpath(e["file"]) for e in json.load(open("build/native/compile_commands.json"))}
print("\n".join(f for f in sys.argv[1:] if f in known and f.endswith((".c", ".cpp"))))
EOF
  )
  if [ ${#tidy[@]} -gt 0 ] && [ -n "${tidy[0]}" ]; then
    # Its exit status also counts the system headers' warnings it suppressed: judge its findings.
    findings=$(clang-tidy -p build/native --quiet "${tidy[@]}" 2>/dev/null | grep -E '(warning|error):' || true)
    if [ -n "$findings" ]; then printf '%s\n' "$findings"; status=1; fi
  fi
fi

if [ "${CHECK_SELF_TEST:-1}" != 0 ]; then
  echo "== check: self-test (each planted fault must fail the check)"
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  plant() {  # plant NAME FILE TEXT EXPECTED: commit TEXT as FILE in a fresh clone; the check must fail saying EXPECTED
    local clone="$scratch/$1"
    git clone -q --shared "$root" "$clone"
    cp scripts/check.sh scripts/check_source.py "$clone/scripts/"
    cp docs/architecture.md "$clone/docs/"
    cp .clang-format "$clone/"
    printf '%s\n' "$3" >"$clone/$2"
    if (cd "$clone" && git add -A && git -c user.name=check -c user.email=check@localhost commit -qm planted &&
        CHECK_TIDY=0 CHECK_SELF_TEST=0 bash scripts/check.sh >"$scratch/$1.log" 2>&1) ||
       ! grep -q -- "$4" "$scratch/$1.log"; then
      echo "check: self-test '$1': the check did not fail with '$4' on $2 planted"
      status=1
    fi
  }
  plant sideways-include package/Planted.cpp '#include "installer/Installer.h"' 'Planted.cpp:1: includes installer/Installer.h'
  plant long-function package/Planted.cpp "$(printf 'int Planted(int x) {\n'; for i in $(seq 70); do printf '    x += %d;\n' "$i"; done; printf '    return x;\n}')" 'Planted.cpp:1: a function of 71 lines'
  plant unformatted package/Planted.cpp 'int  Planted( int x ){return x;}' 'not formatted'
fi

[ $status -eq 0 ] && echo "check: all passed"
exit $status

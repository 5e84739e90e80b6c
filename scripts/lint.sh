#!/usr/bin/env bash
# Checks the sources: their formatting (.clang-format; the tree needs no changes), the include
# layers (scripts/check-includes.py), and clang-tidy (.clang-tidy) on the .cpp files that changed,
# with the default build's compile commands (built first when missing).
#   scripts/lint.sh [--all] [BASE]
# Changed means against BASE, by default the fork point from main, or the previous commit when on
# main itself; uncommitted changes count too. --all runs clang-tidy on every .cpp file.
# Exits non-zero when any check fails.
set -euo pipefail
cd "$(dirname "$0")/.."

all=0
base=""
for arg in "$@"; do
  case "$arg" in
    --all) all=1 ;;
    -*) echo "lint: unknown option $arg" >&2; exit 2 ;;
    *) base="$arg" ;;
  esac
done

status=0

echo "lint: formatting"
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run --Werror "${sources[@]}"; then
  echo "lint: run clang-format -i on the files above" >&2
  status=1
fi

echo "lint: include layers"
python3 scripts/check-includes.py || status=1

# The revision the changes are taken against; empty when there is none to compare with.
find_base() {
  local main=""
  for ref in main origin/main; do
    if git rev-parse -q --verify "$ref^{commit}" >/dev/null; then main="$ref"; break; fi
  done
  if [ -n "$main" ] && [ "$(git rev-parse "$main")" != "$(git rev-parse HEAD)" ]; then
    git merge-base "$main" HEAD 2>/dev/null && return
  fi
  git rev-parse -q --verify 'HEAD~1^{commit}' || true
}

if ((all)); then
  mapfile -t files < <(git ls-files '*.cpp')
else
  [ -n "$base" ] || base="$(find_base)"
  if [ -z "$base" ]; then
    echo "lint: no earlier revision to compare with (shallow clone?): clang-tidy checks every file"
    mapfile -t files < <(git ls-files '*.cpp')
  else
    mapfile -t files < <(git diff --name-only --diff-filter=d "$base" -- '*.cpp')
    echo "lint: clang-tidy on the ${#files[@]} .cpp file(s) changed since $(git rev-parse --short "$base")"
  fi
fi

if ((${#files[@]})); then
  [ -f build/compile_commands.json ] || scripts/setup.sh default
  # The database as clang sees it: the files asked for, without the flags only GCC knows; the fuzz
  # targets, built in the sanitizer preset alone, come from its database when it exists.
  db="$(mktemp -d)"
  trap 'rm -rf "$db"' EXIT
  mapfile -t checked < <(python3 - "$db" "${files[@]}" <<'EOF'
import json, os, shlex, sys
out, wanted = sys.argv[1], {os.path.abspath(f) for f in sys.argv[2:]}
entries = json.load(open('build/compile_commands.json'))
if os.path.exists('build-asan/compile_commands.json'):
    entries += json.load(open('build-asan/compile_commands.json'))
gcc_only = ('-fvect-cost-model',)
kept = []
for e in entries:
    path = os.path.abspath(os.path.join(e['directory'], e['file']))
    if path not in wanted:
        continue
    wanted.discard(path)
    args = e['arguments'] if 'arguments' in e else shlex.split(e['command'])
    e.pop('command', None)
    e['arguments'] = [a for a in args if not a.startswith(gcc_only)]
    kept.append(e)
    print(path)
json.dump(kept, open(os.path.join(out, 'compile_commands.json'), 'w'))
EOF
  )
  skipped=$((${#files[@]} - ${#checked[@]}))
  ((skipped == 0)) || echo "lint: $skipped file(s) in no build's compile commands, not checked by clang-tidy"
  if ((${#checked[@]})); then
    # clang-tidy counts the warnings it parsed in system headers on stderr; only findings matter.
    set +e
    printf '%s\0' "${checked[@]}" |
      xargs -0 -n 4 -P "$(nproc)" clang-tidy -p "$db" --quiet --warnings-as-errors='*' 2>&1 |
      grep -vE '^[0-9]+ (warnings?|errors?)( and [0-9]+ (warnings?|errors?))? generated\.$'
    tidy=${PIPESTATUS[1]}
    set -e
    ((tidy == 0)) || status=1
  fi
fi

if ((status)); then echo "lint: FAILED" >&2; else echo "lint: passed"; fi
exit $status

#!/usr/bin/env bash
# The labels against the certified truth: for every key of both rule sets, on the real data sets
# that DATA_DIR holds (Ladybug, Dinosaur, hard-b.lc), on the demo data (make_bal_problem and
# make_lc_problem --seed 2014) and, where make_lc_problem has --hard, on a hard synthetic set, the
# verdicts on each final point and the Global label's precision and recall, as one Markdown table
# on standard output (the README's table). Progress and times go to standard error.
#
#   scripts/certify_table.sh [BUILD_DIR [DATA_DIR [THREADS]]]
#
# SETS (a pattern, default all) and KEYS (default 0123456789other) in the environment narrow the run,
# for instance SETS='*hard*' KEYS=07. The hard scene is made with 1000 points.
#
# BUILD_DIR (default build) needs tools/certify_labels and the two makers; a Release build, or the
# run takes long. Each verdict gets at most 20000 boxes on the real and demo sets (a tenth of the
# certifier's default: the points that run out there are those whose gap stalls at the rounding of
# their bounds, where more boxes buy nothing) and 2000 on the hard sets, whose many flat valleys
# would otherwise take hours. DATA_DIR defaults to ../shared/data beside the checkout; sets that are not there
# are left out.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
data="${2:-$here/../shared/data}"
threads="${3:-2}"
labels="$build/tools/certify_labels"
for tool in "$labels" "$build/tools/make_bal_problem" "$build/tools/make_lc_problem"; do
  if [[ ! -x "$tool" ]]; then
    echo "certify_table: $tool is missing (build the tools first)" >&2
    exit 2
  fi
done

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
"$build/tools/make_bal_problem" "$scratch/demo-bal.txt" --seed 2014 > /dev/null
"$build/tools/make_lc_problem" "$scratch/demo.lc" --seed 2014 > /dev/null
sets=()
[[ -f "$data/problem-49-7776-pre.txt" ]] && sets+=("Ladybug=$data/problem-49-7776-pre.txt")
[[ -f "$data/dinosaur.lc" ]] && sets+=("Dinosaur=$data/dinosaur.lc")
sets+=("demo BAL=$scratch/demo-bal.txt" "demo .lc=$scratch/demo.lc")
[[ -f "$data/hard-b.lc" ]] && sets+=("hard-b=$data/hard-b.lc")
if "$build/tools/make_lc_problem" --help 2>&1 | grep -q -- '--hard'; then
  "$build/tools/make_lc_problem" "$scratch/hard.lc" --hard --points 1000 --seed 2014 > /dev/null
  sets+=("--hard=$scratch/hard.lc")
fi
budget() { [[ "$1" == *hard* ]] && echo 2000 || echo 20000; }

echo "| data set | rules | key | points | certified | beaten | not in front | undecided | Global | precision | recall | undecided points |"
echo "|---|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---|"
for entry in "${sets[@]}"; do
  name="${entry%%=*}"
  file="${entry#*=}"
  # shellcheck disable=SC2053
  [[ "$name" == ${SETS:-*} ]] || continue
  start=$SECONDS
  "$labels" "$file" --threads "$threads" --max-boxes "$(budget "$name")" \
    --keys "${KEYS:-0123456789other}" --markdown "$name"
  echo "certify_table: $name in $((SECONDS - start)) s" >&2
done

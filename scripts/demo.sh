#!/usr/bin/env bash
# Builds everything, makes a synthetic problem shaped like the Ladybug data set (49 cameras, 7776
# points) in a scratch folder, and triangulates it there with Newton-Raphson (key 0), without
# waiting for any key; then the same with sennic on a synthetic .lc set shaped like the Dinosaur
# sequence (36 turntable cameras, 4983 points); then compares every solver on the BAL problem
# (tessmark-compare, into comparison/), and runs the Python example (examples/python_triangulate.py)
# when the Python module was built. Prints the folder and the start of the reports.
#   scripts/demo.sh [KEY]                default KEY: 0
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)"

root=$(pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessmark-demo.XXXXXX")
cd "$scratch"
"$root/build/tools/make_bal_problem" problem-49-7776-pre.txt --seed 2014
"$root/build/driver/vorlant" --algorithm "${1:-0}"
"$root/build/tools/make_lc_problem" dinosaur.lc --seed 2014
"$root/build/driver/sennic" --algorithm "${1:-0}"
"$root/build/compare/tessmark-compare" --out comparison problem-49-7776-pre.txt
# The Python module, when this machine's Python could build it (build/python/tessmark-python).
if [ -x "$root/build/python/tessmark-python" ]; then
  "$root/build/python/tessmark-python" "$root/examples/python_triangulate.py" > python_triangulate.txt
fi

echo
echo "Demo folder: $scratch"
for report in brimvaleRun*_Results*.txt brimvaleRun*_Summary*.txt dinosaur*_Results*.txt \
  dinosaur*_Summary*.txt; do
  echo "== $report (first lines)"
  head -n 12 "$report"
done
if [ -f python_triangulate.txt ]; then
  echo "== examples/python_triangulate.py (first lines)"
  head -n 8 python_triangulate.txt
fi

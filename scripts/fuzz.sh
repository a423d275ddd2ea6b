#!/usr/bin/env bash
# Builds the fuzz targets (clang's libFuzzer, address and undefined-behaviour sanitizers, assertions
# on) and runs each for the given time, one after the other (one core); fails on any finding (a
# crash, a sanitizer report, a failed assertion or check, a hang, an allocation beyond the limit)
# and prints its reproducer.
#   scripts/fuzz.sh [--coverage] [SECONDS] [TARGET...]
# SECONDS defaults to 60; TARGETs are bal_reader, lc_reader, point_path, triangulator and
# bzip2_input (default: all five).
# With --coverage the corpus each target reached is replayed afterwards by a build instrumented for
# coverage (build-fuzz-coverage) and the line coverage of that target's source files is printed.
# Each target starts from its seed corpus in fuzz/corpus and keeps what it finds in
# build-fuzz/corpus/<target>, so local runs build on each other; findings go to
# build-fuzz/findings/. Clang and its fuzzer runtime are installed when missing (as root, or with
# sudo).
set -euo pipefail
cd "$(dirname "$0")/.."

coverage=0
if [ "${1:-}" = "--coverage" ]; then
  coverage=1
  shift
fi
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(bal_reader lc_reader point_path triangulator bzip2_input)

build="build-fuzz"
# Per input, in wall-clock seconds: a reader input takes milliseconds; the slowest point_path input
# found in 10 minutes (every solver of both menus, 1000 iterations a point) takes about 2 s of CPU
# under the sanitizers, which a loaded machine stretches fourfold, so it gets 30 s, and so does the
# Triangulator (every method of both rules twice on up to eight views).
timeout_of() {
  case $1 in
    point_path | triangulator) echo 30 ;;
    *) echo 10 ;;
  esac
}
malloc_limit_mb=64  # a few KB of input back no more than a few MB

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
install_packages() {
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@"
}

# Clang with a working libFuzzer runtime.
fuzzer_links() {
  local dir
  dir=$(mktemp -d)
  printf '#include <cstddef>\n#include <cstdint>\nextern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }\n' \
    >"$dir/probe.cpp"
  clang++ -fsanitize=fuzzer,address,undefined "$dir/probe.cpp" -o "$dir/probe" >/dev/null 2>&1
  local status=$?
  rm -rf "$dir"
  return $status
}
command -v clang++ >/dev/null 2>&1 || install_packages clang
if ! fuzzer_links; then
  version=$(clang++ -dumpversion | cut -d. -f1)
  install_packages "libclang-rt-${version}-dev"
fi
bash scripts/setup.sh

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSMARK_FUZZ=ON \
  -DTESSMARK_TESTS=OFF -DTESSMARK_BENCHMARKS=OFF -DTESSMARK_WERROR=ON >/dev/null
if ! cmake --build "$build" -j 2 --target "${targets[@]/#/tessmark_fuzz_}" >"$build/build.log" 2>&1; then
  tail -n 60 "$build/build.log"
  exit 1
fi

# Seed folders and dictionary of a target: the per-point target takes both formats.
seeds_of() {
  case $1 in
    point_path)
      echo fuzz/corpus/bal_reader fuzz/corpus/lc_reader
      [ -d fuzz/corpus/point_path ] && echo fuzz/corpus/point_path
      ;;
    *) echo "fuzz/corpus/$1" ;;
  esac
}
# A target's dictionary, or nothing (the Triangulator's input is binary).
dictionary_of() {
  case $1 in
    bal_reader) echo fuzz/bal.dict ;;
    lc_reader) echo fuzz/lc.dict ;;
    bzip2_input) echo fuzz/bzip2.dict ;;
    point_path)
      cat fuzz/bal.dict fuzz/lc.dict >"$build/point_path.dict"
      echo "$build/point_path.dict"
      ;;
  esac
}

failed=()
for target in "${targets[@]}"; do
  work="$build/corpus/$target"
  findings="$build/findings/$target"
  log="$build/fuzz-$target.log"
  mkdir -p "$work" "$findings"
  echo "== fuzzing $target for $seconds s"
  # shellcheck disable=SC2046
  dictionary=$(dictionary_of "$target")
  if "$build/fuzz/tessmark_fuzz_$target" -max_total_time="$seconds" -timeout="$(timeout_of "$target")" \
    -malloc_limit_mb="$malloc_limit_mb" -rss_limit_mb=2048 -max_len=4096 \
    ${dictionary:+-dict="$dictionary"} -artifact_prefix="$findings/" -print_final_stats=1 \
    "$work" $(seeds_of "$target") >"$log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)|^#[0-9]+ +DONE' "$log" || true
  else
    failed+=("$target")
    echo "!! $target: finding; the end of its log ($log):"
    tail -n 60 "$log"
    for artifact in "$findings"/*; do
      [ -f "$artifact" ] || continue
      echo "-- reproducer $artifact ($(stat -c %s "$artifact") bytes), base64:"
      base64 "$artifact"
      echo "-- reproduce: $build/fuzz/tessmark_fuzz_$target $artifact"
      echo "-- minimise:  $build/fuzz/tessmark_fuzz_$target -minimize_crash=1 -max_total_time=60 $artifact"
    done
  fi
done

if [ "$coverage" -eq 1 ]; then
  if ! command -v llvm-profdata >/dev/null 2>&1 || ! command -v llvm-cov >/dev/null 2>&1; then
    install_packages llvm
  fi
  covered="build-fuzz-coverage"
  CC=clang CXX=clang++ cmake -S . -B "$covered" -DCMAKE_BUILD_TYPE=Release -DTESSMARK_BENCHMARKS=OFF \
    -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" >/dev/null
  replays=()
  for target in "${targets[@]}"; do replays+=("tessmark_fuzz_${target}_replay"); done
  cmake --build "$covered" -j 2 --target "${replays[@]}"
  for target in "${targets[@]}"; do
    binary="$covered/fuzz/tessmark_fuzz_${target}_replay"
    # shellcheck disable=SC2046
    LLVM_PROFILE_FILE="$covered/$target.profraw" "$binary" "$build/corpus/$target" $(seeds_of "$target") >/dev/null
    llvm-profdata merge -sparse "$covered/$target.profraw" -o "$covered/$target.profdata"
    case $target in
      bal_reader) sources=(input/text_file.cpp input/bal_problem.cpp input/bal_pretreatment.cpp) ;;
      lc_reader) sources=(input/text_file.cpp input/lc_problem.cpp input/lc_pretreatment.cpp) ;;
      point_path)
        mapfile -t sources < <(ls model/*.cpp solvers/*.cpp solvers/*/*.cpp driver/*_reports.cpp \
          driver/report_common.cpp driver/triangulation_run.cpp)
        ;;
      triangulator)
        mapfile -t sources < <(ls tessmark/*.cpp model/*.cpp solvers/*.cpp solvers/*/*.cpp \
          input/lc_pretreatment.cpp input/bal_pretreatment.cpp)
        ;;
      bzip2_input) sources=(input/bzip2_file.cpp input/text_file.cpp input/bal_problem.cpp input/lc_problem.cpp) ;;
    esac
    echo "== line coverage of $target"
    llvm-cov report "$binary" -instr-profile="$covered/$target.profdata" "${sources[@]}"
  done
fi

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found something in: ${failed[*]}"
  exit 1
fi
echo "fuzzing found nothing in: ${targets[*]} ($seconds s each)"

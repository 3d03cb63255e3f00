#!/usr/bin/env bash
# Benchmark of whole runs, side by side with copying the same output with cp,
# and of the compile's stages in process. One command does everything:
#
#   bash scripts/bench.sh [ROUNDS]      (default 7 rounds)
#
# SB_BENCH_PROGRAM=PATH measures another build of scenario-builder (an older
# commit's, say) against the same generated scenarios.
#
# It installs what it needs (hyperfine, Google Benchmark, /usr/bin/time),
# builds Release in build-bench/, generates 100, 300 and 1000 km scenarios
# (seed 1), checks that they compile without a recorded condition, and then
# prints, as the median over ROUNDS rounds:
#   (a) the whole built-in run / cp of its six output files;
#   (b) compiling the 1000 km line / cp of its three compiled files;
#   (c) peak resident memory of the 1000 km compile / the line plan file size;
#   (d) compile time at 100, 300 and 1000 km and the cost per km, beside the
#       same for cp of each length's compiled files;
#   (e) 20 trains on the 1000 km line in one compile / 20 compiles of one.
# Machines are shared and noisy, so only ratios of commands measured side by
# side are reported: in each round hyperfine times both commands of a pair
# (their order alternating from round to round) and the round's ratio is the
# ratio of the two medians.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds="${1:-7}"
runs=5

bash scripts/install-deps.sh --bench
dir=build-bench
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DSB_BENCHMARKS=ON >/dev/null
cmake --build "$dir" -j"$(nproc)" --target scenario-builder generate-line stages_benchmark >/dev/null
exe="${SB_BENCH_PROGRAM:-$PWD/$dir/scenario-builder}"

work="$(mktemp -d "${TMPDIR:-/tmp}/sb-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# --- the scenarios ------------------------------------------------------------
for km in 100 300 1000; do
  mkdir -p "$work/src$km" "$work/ref$km"
  mapfile -t files < <("$dir/generate-line" --km "$km" --seed 1 --out "$work/src$km")
  line[$km]="${files[0]}"
  train[$km]="${files[1]}"
  if ! "$exe" compile "${line[$km]}" "${train[$km]}" --out "$work/ref$km" 2>"$work/err"; then
    cat "$work/err" >&2
    echo "bench: the generated $km km scenario does not compile" >&2
    exit 1
  fi
  if [ -s "$work/err" ]; then
    cat "$work/err" >&2
    echo "bench: the generated $km km scenario recorded conditions" >&2
    exit 1
  fi
done
mkdir -p "$work/builtin"
"$exe" --dir "$work/builtin"
builtin_files=("$work"/builtin/*)
compiled_files=("$work"/ref1000/*)
[ "${#builtin_files[@]}" -eq 6 ] || { echo "bench: the built-in run left ${#builtin_files[@]} files, not 6" >&2; exit 1; }
[ "${#compiled_files[@]}" -eq 3 ] || { echo "bench: the compile left ${#compiled_files[@]} files, not 3" >&2; exit 1; }
plan_file="$(ls "$work"/ref1000/*_linea.dat)"
plan_bytes="$(stat -c %s "$plan_file")"

# --- helpers ------------------------------------------------------------------
out="$work/out"
fresh="bash -c 'rm -rf $out && mkdir $out'"

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# hyperfine on the given commands, each run in a fresh output directory;
# leaves the median time in seconds of each command, in the order given, in
# the array t.
medians() {
  local csv="$work/times.csv"
  if ! hyperfine -N --style none --warmup 1 --runs "$runs" --prepare "$fresh" --export-csv "$csv" "$@" \
    >/dev/null 2>"$work/hyperfine.log"; then
    cat "$work/hyperfine.log" >&2
    exit 1
  fi
  mapfile -t t < <(tail -n +2 "$csv" | awk -F, '{ print $4 }')
}

# ratio NAME A B: the median over the rounds of median(A) / median(B).
ratio() {
  local name="$1" a="$2" b="$3" r ta tb
  : >"$work/ratios"
  : >"$work/ta"
  : >"$work/tb"
  for ((r = 0; r < rounds; r++)); do
    if ((r % 2 == 0)); then
      medians "$a" "$b"; ta="${t[0]}"; tb="${t[1]}"
    else
      medians "$b" "$a"; ta="${t[1]}"; tb="${t[0]}"
    fi
    echo "$ta" >>"$work/ta"
    echo "$tb" >>"$work/tb"
    awk -v a="$ta" -v b="$tb" 'BEGIN { print a / b }' >>"$work/ratios"
  done
  printf '%-44s %6.2f   (%.1f ms / %.1f ms)\n' "$name" "$(median <"$work/ratios")" \
    "$(awk '{ print $1 * 1000 }' "$work/ta" | median)" "$(awk '{ print $1 * 1000 }' "$work/tb" | median)"
}

compile_cmd() { echo "$exe compile ${line[$1]} ${train[$1]} --out $out"; }

echo
echo "scenario-builder benchmark: $rounds rounds of $runs runs per command; ratio = median over the rounds"
echo
echo "(a) built-in run / cp of its six files       ratio  (median times)"
ratio "    built-in run / cp" "$exe --dir $out" "cp ${builtin_files[*]} $out/"
echo
echo "(b) 1000 km compile / cp of its three files"
ratio "    compile 1000 km / cp" "$(compile_cmd 1000)" "cp ${compiled_files[*]} $out/"
echo

# --- (c) peak resident memory -------------------------------------------------
# The median peak over the rounds at each length: against the line plan file
# of the 1000 km route, and from 100 to 1000 km (flat: a ratio near 1).
for km in 100 300 1000; do
  : >"$work/rss$km"
  for ((r = 0; r < rounds; r++)); do
    rm -rf "$out" && mkdir "$out"
    /usr/bin/time -f %M -o "$work/rss1" $(compile_cmd $km)
    cat "$work/rss1" >>"$work/rss$km"
  done
  rss[$km]="$(median <"$work/rss$km")"
done
echo "(c) peak resident memory of the 1000 km compile / line plan file size"
printf '    %.1f MiB / %.1f MiB = %.2f\n' "$(awk -v k="${rss[1000]}" 'BEGIN { print k / 1024 }')" \
  "$(awk -v b="$plan_bytes" 'BEGIN { print b / 1048576 }')" \
  "$(awk -v k="${rss[1000]}" -v b="$plan_bytes" 'BEGIN { print k * 1024 / b }')"
printf '    peak at 100 / 300 / 1000 km: %.1f / %.1f / %.1f MiB; 1000 km / 100 km = %.2f\n' \
  "$(awk -v k="${rss[100]}" 'BEGIN { print k / 1024 }')" "$(awk -v k="${rss[300]}" 'BEGIN { print k / 1024 }')" \
  "$(awk -v k="${rss[1000]}" 'BEGIN { print k / 1024 }')" \
  "$(awk -v a="${rss[1000]}" -v b="${rss[100]}" 'BEGIN { print a / b }')"
echo

# --- (d) cost against route length --------------------------------------------
# The same for cp of each length's compiled files: how the kernel's cost of
# writing a file grows with its size, beside the compile's.
cp_cmd() { echo "cp $(echo "$work"/ref$1/*) $out/"; }
for what in compile cp; do
  for km in 100 300 1000; do : >"$work/t$what$km"; done
done
for ((r = 0; r < rounds; r++)); do
  medians "$(compile_cmd 100)" "$(compile_cmd 300)" "$(compile_cmd 1000)" "$(cp_cmd 100)" "$(cp_cmd 300)" "$(cp_cmd 1000)"
  i=0
  for what in compile cp; do
    for km in 100 300 1000; do
      echo "${t[$i]}" >>"$work/t$what$km"
      i=$((i + 1))
    done
  done
done
echo "(d) time against route length (median ms; ms per km between lengths)"
for what in compile cp; do
  awk -v w="$what" -v a="$(median <"$work/t${what}100")" -v b="$(median <"$work/t${what}300")" \
    -v c="$(median <"$work/t${what}1000")" 'BEGIN {
    printf "    %-8s 100 km %.1f ms   300 km %.1f ms   1000 km %.1f ms\n", w, a * 1000, b * 1000, c * 1000
    s1 = (b - a) * 1000 / 200; s2 = (c - b) * 1000 / 700
    printf "             100-300 km: %.4f ms/km   300-1000 km: %.4f ms/km   ratio of the two %.2f (1 = linear)\n", s1, s2, s2 / s1
  }'
done
echo

# --- (e) many trains on one line -----------------------------------------------
# 20 train files (copies of the generated one, numbered 1 to 20) on the 1000 km
# line: one compile of all of them, which writes the line plan once, against
# one compile per train.
trains20=()
route1000="$(basename "${line[1000]}" _linea.txt)"
for n in $(seq 1 20); do
  cp "${train[1000]}" "$work/src1000/${route1000}_$n-.txt"
  trains20+=("$work/src1000/${route1000}_$n-.txt")
done
one_by_one="$work/one_by_one.sh"
{
  echo "set -e"
  for t in "${trains20[@]}"; do echo "$exe compile ${line[1000]} $t --out $out"; done
} >"$one_by_one"
echo "(e) 20 trains on the 1000 km line: one compile / 20 compiles"
ratio "    compile of 20 trains / 20 compiles" "$exe compile ${line[1000]} ${trains20[*]} --out $out" \
  "bash $one_by_one"
echo

# --- the stages in process ----------------------------------------------------
echo "stages in process, 1000 km (Google Benchmark):"
"$dir/stages_benchmark" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2>/dev/null |
  grep -E '_median' || true

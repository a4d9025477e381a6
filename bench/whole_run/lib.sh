# Shared by the whole-run benchmarks: sourced, not run. Expects root and
# build set; sets up a scratch home with our siblings' parameter files and
# defines measure, ratio and run_pair.
bin="$build/bin"
# shellcheck source=bench/whole_run/timing.sh
source "$root/bench/whole_run/timing.sh"
for tool in "$bin/tolvane" "$bin/sandrel" "$bin/mervik-cli" /usr/bin/time comparepdf pdftoppm \
    compare; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

# A step timed on its own runs as Mervik starts it: with glibc's malloc
# allowed to use transparent huge pages, its heap growing by 8 MiB at a time
# (siblingTunables in automation/sibling_runner.h): `as_sibling measure ...`.
# mervik-cli, comparepdf and the other tools run as a user starts them,
# with the environment the script was given. The settings are no small
# thing on a virtual machine whose page faults are dear: there comparepdf on
# the SXF road pair took 58 ms with them and 96 ms without (1,439 page
# faults against 3,651). GLIBC_TUNABLES=glibc.malloc.hugetlb=0 in the
# script's environment times the steps without huge pages too.
sibling_tunables="${GLIBC_TUNABLES:-}"
case "$sibling_tunables" in
  *glibc.malloc.hugetlb=*) ;;
  *) sibling_tunables="${sibling_tunables:+$sibling_tunables:}glibc.malloc.hugetlb=1" ;;
esac
case "$sibling_tunables" in
  *glibc.malloc.top_pad=*) ;;
  *) sibling_tunables="$sibling_tunables:glibc.malloc.top_pad=8388608" ;;
esac
as_sibling() { GLIBC_TUNABLES="$sibling_tunables" "$@"; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/home"
mkdir -p "$XDG_DATA_HOME"
"$bin/tolvane" --init >/dev/null
"$bin/sandrel" --init >/dev/null
tpar="$XDG_DATA_HOME/Corvanta/Tolvane/Tolvane.par"
spar="$XDG_DATA_HOME/Corvanta/Sandrel/Sandrel.par"
region_gap() { sed -i "s/^RegionGap = .*/RegionGap = $1/" "$spar"; }
set_line() { sed -i "$1s/.*/$2\r/" "$tpar"; }
split_mode() { set_line 9 1; }
join_mode() { set_line 8 0; set_line 9 0; set_line 10 0; }

# measure LABEL COMMAND...: REPEAT runs (default 1), the median by wall
# time reported; exit status 0 or 1 (1 = "they differ"; comparepdf says so
# with 10) counts as done. Sets last (seconds) and prints wall seconds,
# processor seconds (user + system, which a busy machine does not inflate)
# and peak RSS. When before_each names a command, it runs before each run,
# untimed.
last=0
last_kb=0
before_each=""
# last_kb: the peak memory of the last measure (KB). The summary at the end
# gets one line a pair and input kind.
summary="$work/summary"
: >"$summary"
measure() {
  local label="$1"; shift
  local status=0 i
  : >"$work/times"
  for ((i = 0; i < ${REPEAT:-1}; i++)); do
    status=0
    [ -z "$before_each" ] || $before_each
    timed "$work/time" "$@" >/dev/null 2>"$work/err" || status=$?
    if [ "$status" -gt 1 ] && [ "$status" -ne 10 ]; then
      echo "$label: failed ($status): $(grep -v '^Command exited' "$work/err" | tail -1)" >&2
      last=0
      last_kb=0
      return 0
    fi
    tail -1 "$work/time" >>"$work/times"
  done
  local t u s m
  read -r t u s m < <(sort -n "$work/times" | sed -n "$(( (${REPEAT:-1} + 1) / 2 ))p")
  last="$t"
  last_kb="$m"
  printf '  %-40s %7.3f s %7.2f s cpu %8d KB\n' "$label" "$t" \
    "$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }')" "$m"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

# whole_run EXT OLD NEW: mervik-cli --once on the pair as input files of
# type EXT, PDF out; sets last.
whole_run() {
  local ext="$1" old="$2" new="$3" d="$work/run"
  rm -rf "$d"
  mkdir -p "$d/in1" "$d/in2" "$d/out"
  whole_run_inputs() {
    # The run takes its input files away: each repeat gets them anew.
    rm -f "$d/out/plan.pdf"
    # A first run copies its build's Init folder into the data folder, and
    # later runs keep that copy, which names that build's siblings: without
    # this, every build's whole run would drive the first build's siblings.
    rm -rf "$XDG_DATA_HOME/Corvanta/Mervik"
    cp "$old" "$d/in1/plan.$ext"
    cp "$new" "$d/in2/plan.$ext"
    # Complete files, as a user's finished drawings are: without this the
    # run would first wait out its settle time for files just written.
    touch -d '-1 minute' "$d/in1/plan.$ext" "$d/in2/plan.$ext"
  }
  before_each=whole_run_inputs
  measure "mervik-cli --once /a /op ($ext in, whole run)" \
    "$bin/mervik-cli" --once /a /op "$d/in1/*.$ext" "$d/in2" "$d/out"
  before_each=""
  [ -f "$d/out/plan.pdf" ] || echo "  (no result written by the whole run)"
  rm -rf "$d"
}

# Every page of two PDFs rendered at 150 dpi and compared pixel by pixel.
raster_compare() {
  local old="$1" new="$2" d="$3"
  mkdir -p "$d"
  pdftoppm -r 150 -png "$old" "$d/o" && pdftoppm -r 150 -png "$new" "$d/n" || return 2
  local a
  for a in "$d"/o-*.png; do
    # compare exits 1 when the pages differ: an answer, not a failure.
    compare -metric AE "$a" "$d/n-${a##*/o-}" "$d/diff.png" 2>/dev/null || [ $? -eq 1 ] || return 2
  done
}
export -f raster_compare

# split_compare_join DIR OLD NEW: both files split, the pages compared and
# the result joined to PDF in DIR, the first split, the compare and the join
# timed.
split_compare_join() {
  local d="$1" old="$2" new="$3"
  rm -rf "$d"
  mkdir -p "$d/Temp1" "$d/Temp2" "$d/Temp3"
  split_mode
  as_sibling measure "split (tolvane /h), first file" "$bin/tolvane" /h "$old" "$d/Temp1/plan.hgl"
  "$bin/tolvane" /h "$new" "$d/Temp2/plan.hgl"
  as_sibling measure "compare (sandrel)" "$bin/sandrel" /h /oh "$d/Temp1/plan*.hgl" "$d/Temp2/" "$d/Temp3/"
  join_mode
  as_sibling measure "join to PDF (tolvane /p)" "$bin/tolvane" /p "$d/Temp3/plan*.hgl" "$d/r.pdf"
}

# run_pair NAME OLD.hgl NEW.hgl [OLD.pdf NEW.pdf]: every step on the HP-GL
# pair, the whole run, and the PDF tools on the pair as PDF (the given PDFs,
# which are also run through Mervik as PDF input, or else our conversion of
# the HP-GL).
run_pair() {
  local name="$1" old="$2" new="$3" oldPdf="${4:-}" newPdf="${5:-}" d="$work/$1"
  mkdir -p "$d/Temp1" "$d/Temp2" "$d/Temp3"
  echo "-- $name ($(stat -c %s "$old") and $(stat -c %s "$new") bytes of HP-GL)"
  split_mode
  as_sibling measure "split (tolvane /h), first file" "$bin/tolvane" /h "$old" "$d/Temp1/plan.hgl"
  "$bin/tolvane" /h "$new" "$d/Temp2/plan.hgl"
  as_sibling measure "compare (sandrel)" "$bin/sandrel" /h /oh "$d/Temp1/plan*.hgl" "$d/Temp2/" "$d/Temp3/"
  local marked="$last"
  # What the regions and the legend cost: the same without them.
  region_gap 0
  mkdir -p "$d/Plain"
  as_sibling measure "compare without regions and legend" \
    "$bin/sandrel" /h /oh "$d/Temp1/plan*.hgl" "$d/Temp2/" "$d/Plain/"
  region_gap 5
  echo "  regions and legend add: $(awk -v a="$marked" -v b="$last" \
    'BEGIN { if (b > 0) printf "%+.0f%%", 100 * (a - b) / b; else print "n/a" }')"
  join_mode
  as_sibling measure "join to PDF (tolvane /p)" "$bin/tolvane" /p "$d/Temp3/plan*.hgl" "$d/r.pdf"
  as_sibling measure "join to TIFF 300 dpi (tolvane /t)" "$bin/tolvane" /t "$d/Temp3/plan*.hgl" "$d/r.tif"
  as_sibling measure "join to HP-GL (tolvane /h)" "$bin/tolvane" /h "$d/Temp3/plan*.hgl" "$d/r.hgl"
  whole_run hgl "$old" "$new"
  local ours="$last" oursKb="$last_kb" pdfRun="" pdfKb=""
  if [ -n "$oldPdf" ]; then
    whole_run pdf "$oldPdf" "$newPdf"
    pdfRun="$last" pdfKb="$last_kb"
  else
    oldPdf="$d/old.pdf" newPdf="$d/new.pdf"
    "$bin/tolvane" --convert /p "$old" "$oldPdf"
    "$bin/tolvane" --convert /p "$new" "$newPdf"
  fi
  measure "comparepdf --compare=a" comparepdf --compare=a "$oldPdf" "$newPdf"
  local cpdf="$last" cpdfKb="$last_kb"
  measure "pdftoppm -r 150 + compare -metric AE" bash -c 'raster_compare "$@"' _ \
    "$oldPdf" "$newPdf" "$d/png"
  local ppm="$last"
  echo "  ratio whole run / comparepdf: $(ratio "$ours" "$cpdf");" \
    "whole run / pdftoppm+compare: $(ratio "$ours" "$ppm")"
  add_summary "$name, HP-GL in" "$ours" "$oursKb" "$cpdf" "$cpdfKb"
  [ -z "$pdfRun" ] || add_summary "$name, PDF in" "$pdfRun" "$pdfKb" "$cpdf" "$cpdfKb"
  rm -rf "$d"
}

# add_summary LABEL OUR_SECONDS OUR_PEAK_KB COMPAREPDF_SECONDS COMPAREPDF_PEAK_KB:
# one line of the table print_summary prints. A whole run's peak is that of
# its largest step: each step is a program of its own.
add_summary() {
  printf '%-40s %7.3f %9.3f %6s %8.0f %8.0f %6s\n' "${summary_tag:-}$1" "$2" "$4" "$(ratio "$2" "$4")" \
    "$(awk -v k="$3" 'BEGIN { print k / 1024 }')" "$(awk -v k="$5" 'BEGIN { print k / 1024 }')" \
    "$(ratio "$3" "$5")" >>"$summary"
}

print_summary() {
  [ -s "$summary" ] || return 0
  echo
  echo "== whole mervik-cli run against comparepdf on the same pair as PDF (${REPEAT:-1} run(s) a figure, median)"
  printf '%-40s %7s %9s %6s %8s %8s %6s\n' "pair" "run s" "cmppdf s" "ratio" "run MB" "cmp MB" "ratio"
  cat "$summary"
}

# results_pair NAME OLD NEW: every build of the array builds (folders)
# splits and compares the pair with its own programs, reporting each
# region; the first build's report and result pages are set beside each
# other build's: the same byte for byte, the same regions (page, box, kind
# and labels) with other counts, or other regions, listed.
results_pair() {
  local name="$1" old="$2" new="$3" k status
  for k in "${!builds[@]}"; do
    local d="$work/results/$k" b="${builds[$k]}/bin"
    rm -rf "$d"
    mkdir -p "$d/Temp1" "$d/Temp2" "$d/Temp3"
    split_mode
    "$b/tolvane" /h "$old" "$d/Temp1/plan.hgl"
    "$b/tolvane" /h "$new" "$d/Temp2/plan.hgl"
    status=0
    MERVIK_COMPARISON_REPORT="$d/report.json" "$b/sandrel" /h /oh "$d/Temp1/plan*.hgl" \
      "$d/Temp2/" "$d/Temp3/" >/dev/null 2>&1 || status=$?
    # 1 says the pair differs: an answer, not a failure.
    [ "$status" -le 1 ] || echo "  $name: the comparison of ${builds[$k]} ended with $status"
  done
  for k in "${!builds[@]}"; do
    [ "$k" -gt 0 ] || continue
    echo "-- $name: ${builds[$k]} against ${builds[0]}"
    # Both builds' result pages read and written again by this build's
    # converter: pages that draw the same come out the same, however each
    # build wrote them.
    local j p
    split_mode
    for j in 0 "$k"; do
      rm -rf "$work/results/$j/Again"
      mkdir -p "$work/results/$j/Again"
      for p in "$work/results/$j/Temp3"/*; do
        [ -e "$p" ] || continue
        "${builds[$k]}/bin/tolvane" /h "$p" "$work/results/$j/Again/${p##*/}"
      done
    done
    python3 - "$work/results/0" "$work/results/$k" <<'PY'
import filecmp, json, os, sys
first, other = sys.argv[1], sys.argv[2]
def report(d):
    with open(os.path.join(d, "report.json"), encoding="utf-8") as f:
        return json.load(f)
a, b = report(first), report(other)
def place(r):
    return (r["page"], tuple(r["boxMm"]), r["kind"], tuple(r["oldText"]), tuple(r["newText"]))
def same(folder):
    names = sorted(os.listdir(os.path.join(first, folder)))
    return len(names), names == sorted(os.listdir(os.path.join(other, folder))) and all(
        filecmp.cmp(os.path.join(first, folder, p), os.path.join(other, folder, p), shallow=False)
        for p in names)
pages, same_pages = same("Temp3")
ra, rb = a["regions"], b["regions"]
if same_pages and a == b:
    print("  the same, byte for byte: %d result page(s), %d region(s)" % (pages, len(ra)))
elif same("Again")[1] and a == b:
    print("  the same drawing and report: %d result page(s), %d region(s), written otherwise"
          % (pages, len(ra)))
elif a == b:
    # The same report to the byte: every region, count and alignment. How
    # much of the result pages differs, instruction by instruction.
    changed = total = 0
    for p in sorted(os.listdir(os.path.join(first, "Temp3"))):
        def instructions(d):
            path = os.path.join(d, "Temp3", p)
            if not os.path.exists(path):
                return []
            with open(path, "rb") as f:
                return f.read().split(b";")
        x, y = instructions(first), instructions(other)
        total += len(x)
        changed += sum(1 for i, j in zip(x, y) if i != j) + abs(len(x) - len(y))
    print("  the same report (%d region(s), every count), result pages written otherwise: "
          "%d of %d instructions" % (len(ra), changed, total))
elif [place(r) for r in ra] == [place(r) for r in rb] and a.get("alignments") == b.get("alignments"):
    print("  the same %d region(s) (page, box, kind, labels), other counts:" % len(ra))
    for x, y in zip(ra, rb):
        if (x["removed"], x["added"]) != (y["removed"], y["added"]):
            print("    page %d region %d: %d removed, %d added -> %d, %d"
                  % (x["page"], x["number"], x["removed"], x["added"], y["removed"], y["added"]))
else:
    print("  other regions: %d -> %d" % (len(ra), len(rb)))
    only_a = [place(r) for r in ra if place(r) not in [place(s) for s in rb]]
    only_b = [place(r) for r in rb if place(r) not in [place(s) for s in ra]]
    for label, rs in (("only in the first", only_a), ("only in the other", only_b)):
        for r in rs[:10]:
            print("    %s: page %d box %s %s" % (label, r[0], list(r[1]), r[2]))
        if len(rs) > 10:
            print("    ... and %d more %s" % (len(rs) - 10, label))
    if a.get("alignments") != b.get("alignments"):
        print("    alignments: %s -> %s" % (a.get("alignments"), b.get("alignments")))
PY
  done
}

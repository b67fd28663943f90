# The bench's table and its goals, from the lines bench/tools.sh appends to the results file:
#   case row payload-bytes build-s apply-s apply-KiB file build-KiB check-s pass-s   ("-": does not apply)
# A case of several files adds up sizes and times over its files and takes the largest peaks.
# Run by bench/run with -v bsdiff_max=MIB.

function num(x) { return x ~ /^[0-9.]+$/ }
function mib(kib) { return kib / 1024 }
function show(k, field, format) { return ((field, k) in has) ? sprintf(format, value[field, k]) : "-" }
function add(field, k, x) { if (num(x)) { value[field, k] += x; has[field, k] = 1 } }
function peak(field, k, x) {
  if (num(x) && (!((field, k) in has) || x > value[field, k])) { value[field, k] = x; has[field, k] = 1 }
}

{
  k = $1 " " $2; seen[k] = 1
  if (!($1 in order)) { order[$1] = ++ncases; names[ncases] = $1 }
}
$3 == "n/a" { na[k] = 1; next }
{ add("bytes", k, $3); add("build", k, $4); add("apply", k, $5); peak("mem", k, $6); peak("bmem", k, $8); add("check", k, $9)
  add("pass", k, $10) }

END {
  nrows = split("orvan zstd xdelta3 bsdiff hdiffz-lzma2 hdiffz-zstd hdiffz-dir updater floor", rows, " ")
  label["orvan"] = "orvan covers (codec)"; label["zstd"] = "zstd -19 --long=31 --patch-from"
  label["xdelta3"] = "xdelta3 -9"; label["bsdiff"] = "bsdiff"
  label["hdiffz-lzma2"] = "hdiffz lzma2"; label["hdiffz-zstd"] = "hdiffz zstd"; label["hdiffz-dir"] = "hdiffz dir (lzma2, folders)"
  label["updater"] = "orvan-update (whole updater)"; label["floor"] = "floor (read, write, flush)"
  printf "%-6s %-32s %12s %9s %9s %8s %9s %9s %8s %7s %8s\n", "case", "tool", "payload B", "build s", "build MiB",
         "check s", "apply s", "apply MiB", "x floor", "pass s", "x floor"
  for (i = 1; i <= ncases; i++) {
    c = names[i]; f = c " floor"
    for (r = 1; r <= nrows; r++) {
      k = c " " rows[r]
      if (!(k in seen)) continue
      name = label[rows[r]] ((k in na) ? " (*)" : "")
      if (!(("apply", k) in has)) { printf "%-6s %-32s %12s\n", c, name, "not run (*)"; continue }
      floored = rows[r] == "updater" && (("apply", f) in has) && value["apply", f] > 0
      times = floored ? sprintf("%.2f", value["apply", k] / value["apply", f]) : "-"
      passTimes = (floored && (("pass", k) in has)) ? sprintf("%.2f", value["pass", k] / value["apply", f]) : "-"
      printf "%-6s %-32s %12s %9s %9s %8s %9s %9s %8s %7s %8s\n", c, name, show(k, "bytes", "%d"), show(k, "build", "%.1f"),
             (("bmem", k) in has) ? sprintf("%.1f", mib(value["bmem", k])) : "-", show(k, "check", "%.1f"),
             show(k, "apply", "%.2f"), sprintf("%.1f", mib(value["mem", k])), times, show(k, "pass", "%.2f"), passTimes
    }
    goals(c)
  }
  printf "build s: our codec's build and the updater's include the self-check (check s); hdiffz checks its patch too.\n"
  printf "x floor: the updater's apply time over the floor's (every changed old file read, every new one written and flushed).\n"
  printf "pass s: the updater's update pass within its apply (its log lines' times), x floor its time over the floor's.\n"
  printf "(*) bsdiff is not run on files over %d MiB (its suffix sort needs about 17 bytes of memory\n", bsdiff_max
  printf "    per byte): its row counts only the files it ran on, and no goal uses it.\n"
}

# The goals of one case, each against the rows it needs; one that lacks them is left out.
function goals(c,    o, u, h, f, bs, best, bestName, r, k, line, memo, ours, oursName) {
  o = c " orvan"; u = c " updater"; h = c " hdiffz-lzma2"; f = c " floor"; bs = c " bsdiff"; line = ""
  # On a whole tree the payload that counts is the updater's: its builder codes a file at a new path
  # against the old files its content came from, which the codec driver, given pairs, cannot.
  ours = o; oursName = "codec"
  if ((c == "tree" || c == "moves" || c == "text") && (("bytes", u) in has)) { ours = u; oursName = "updater" }
  if (("bytes", ours) in has) {
    # The payload: at most 0.97 of the smallest other tool's (every row from zstd to hdiffz dir).
    best = ""
    for (r = 2; r <= 7; r++) {
      k = c " " rows[r]
      if (!(("bytes", k) in has) || (k in na)) continue
      if (best == "" || value["bytes", k] < best) { best = value["bytes", k]; bestName = rows[r] }
    }
    if (best != "") line = line sprintf("\n    payload %s (%s: %.3f of %s's, at most 0.97)", met(value["bytes", ours] <= 0.97 * best),
                                        oursName, value["bytes", ours] / best, bestName)
  }
  if (("bytes", o) in has) {
    # On the real executables, also at most 0.8 of bsdiff's.
    if ((c == "exe" || c == "exe2") && (("bytes", bs) in has) && !(bs in na))
      line = line sprintf("\n    payload vs bsdiff %s (%.3f of bsdiff's, at most 0.8)", met(value["bytes", o] <= 0.8 * value["bytes", bs]),
                          value["bytes", o] / value["bytes", bs])
    if (("build", h) in has) {
      line = line sprintf("\n    build time %s (%.2fx hdiffz lzma2's)", met(value["build", o] <= value["build", h]),
                          value["build", h] > 0 ? value["build", o] / value["build", h] : 0)
      line = line sprintf("\n    build memory %s (%.2fx hdiffz lzma2's, at most 2x)", met(value["bmem", o] <= 2 * value["bmem", h]),
                          value["bmem", h] > 0 ? value["bmem", o] / value["bmem", h] : 0)
      line = line sprintf("\n    codec apply %s (%.2fx hpatchz lzma2's)", met(value["apply", o] <= value["apply", h]),
                          value["apply", h] > 0 ? value["apply", o] / value["apply", h] : 0)
    }
  }
  if ((("pass", u) in has) && (("apply", f) in has))
    line = line sprintf("\n    update pass %s (%.2fx the floor, at most 1.5x; the whole run %.2fx)",
                        met(value["pass", u] <= 1.5 * value["apply", f]),
                        value["apply", f] > 0 ? value["pass", u] / value["apply", f] : 0,
                        value["apply", f] > 0 ? value["apply", u] / value["apply", f] : 0)
  else if ((("apply", u) in has) && (("apply", f) in has))
    line = line sprintf("\n    updater apply %s (%.2fx the floor, at most 1.5x)", met(value["apply", u] <= 1.5 * value["apply", f]),
                        value["apply", f] > 0 ? value["apply", u] / value["apply", f] : 0)
  memo = ""
  if (("mem", o) in has) memo = sprintf("codec %.1f MiB", mib(value["mem", o]))
  if (("mem", u) in has) memo = memo (memo == "" ? "" : ", ") sprintf("updater %.1f MiB", mib(value["mem", u]))
  if (memo != "")
    line = line sprintf("\n    apply memory %s (%s; at most 32)", met((!(("mem", o) in has) || value["mem", o] <= 32768) &&
                        (!(("mem", u) in has) || value["mem", u] <= 32768)), memo)
  if (line != "") printf "  goals:%s\n", line
}

function met(ok) { return ok ? "met" : "NOT met" }

#!/usr/bin/env bash
# Holds a manual page to its program's --help: the same options, each described in the same
# words (the page may say more), and a page that groff renders without a warning.
# Usage: man-pages.sh PROGRAM PAGE [PROGRAM PAGE ...]
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# "name<TAB>description" for every option in the "Options:" part of the usage text; a line
# indented deeper than an option's continues its description.
help_options() {
  awk '
    function flush() { if (names != "") { n = split(names, list, " "); for (i = 1; i <= n; i++) print list[i] "\t" desc }; names = "" }
    /^Options:/ { inside = 1; next }
    inside && /^[^ ]/ { flush(); inside = 0 }
    inside && /^$/ { flush(); next }
    inside && /^  -/ {
      flush(); line = substr($0, 3); cut = index(line, "  ")
      signature = cut ? substr(line, 1, cut - 1) : line
      desc = cut ? substr(line, cut) : ""; sub(/^ +/, "", desc)
      count = split(signature, parts, ", "); names = ""
      for (i = 1; i <= count; i++) { split(parts[i], words, " "); names = names " " words[1] }
      next
    }
    inside && names != "" && /^   / { text = $0; sub(/^ +/, "", text); desc = desc " " text }
    END { flush() }'
}

# The same from a page's OPTIONS section: each ".TP" tag names options, the lines after it
# describe them.
page_options() {
  awk '
    function plain(s) { gsub(/\\-/, "-", s); gsub(/\\f[BIRP]/, "", s); gsub(/\\&/, "", s); gsub(/\\e/, "\\", s); return s }
    function flush() { if (names != "") { gsub(/  +/, " ", desc); sub(/^ /, "", desc); n = split(names, list, " "); for (i = 1; i <= n; i++) print list[i] "\t" desc }; names = "" }
    /^\.SH/ { flush(); inside = ($0 ~ /OPTIONS/); next }
    !inside { next }
    /^\.TP/ { flush(); tag = 1; next }
    tag {
      tag = 0; line = plain($0); sub(/^\.[A-Z]+ /, "", line); gsub(/"/, " ", line)
      count = split(line, words, " ")
      for (i = 1; i <= count; i++) if (words[i] ~ /^-/) { w = words[i]; sub(/[,;]$/, "", w); names = names " " w }
      desc = ""; next
    }
    /^\.(PP|LP|P|RS|RE|SH|SS)( |$)/ { flush(); next }
    names != "" { line = plain($0); if (sub(/^\.[A-Z]+ /, "", line)) gsub(/"/, "", line); desc = desc " " line }
    END { flush() }'
}

while [ $# -ge 2 ]; do
  program=$1 page=$2
  shift 2
  name=$(basename "$program")
  "$program" --help >"$work/help.txt" 2>&1
  help_options <"$work/help.txt" | sort >"$work/help"
  page_options <"$page" | sort >"$work/page"
  report=$(awk -F'\t' -v program="$name" -v page="$(basename "$page")" '
    FNR == NR { help[$1] = $2; next }
    { manual[$1] = $2 }
    END {
      for (o in help) {
        if (!(o in manual)) print "  " o ": in " program " --help, missing from " page " (\"" help[o] "\")"
        else if (index(manual[o], help[o]) == 0) print "  " o ": the words differ\001    --help: " help[o] "\001    page:   " manual[o]
      }
      for (o in manual) if (!(o in help)) print "  " o ": in " page ", but " program " --help has no such option"
    }' "$work/help" "$work/page" | sort | tr '\001' '\n')
  if [ -n "$report" ]; then
    echo "FAIL: $(basename "$page") and $name --help differ:"
    echo "$report"
    failed=$((failed + 1))
  elif [ ! -s "$work/help" ]; then
    echo "FAIL: no options read from $name --help"
    failed=$((failed + 1))
  else
    echo "ok:   $(basename "$page") lists the $(wc -l <"$work/help") options of $name --help"
  fi
  missing=""
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS ENVIRONMENT "EXIT STATUS" FILES EXAMPLES; do
    grep -q "^\.SH $section\$" "$page" || missing="$missing $section"
  done
  if [ -n "$missing" ]; then
    echo "FAIL: $(basename "$page") has no section$missing"
    failed=$((failed + 1))
  fi
  warnings=$(groff -man -ww -z "$page" 2>&1)
  if [ -n "$warnings" ]; then
    echo "FAIL: groff warns about $(basename "$page"):"
    echo "$warnings"
    failed=$((failed + 1))
  else
    echo "ok:   $(basename "$page") renders without warnings"
  fi
done
[ "$failed" -eq 0 ]

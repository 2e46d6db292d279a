#!/usr/bin/env bash
# The manual page: no mandoc lint warning, no groff warning when man renders
# it, and a synopsis line for every command word the program knows.
# Usage: man_page.sh PAGE PROGRAM
set -uo pipefail
page=$1 program=$2
command -v mandoc >/dev/null || { echo "SKIP: mandoc is not installed"; exit 77; }
command -v man >/dev/null || { echo "SKIP: man is not installed"; exit 77; }
status=0

lint=$(mandoc -T lint -W warning "$page" 2>&1)
[ $? -eq 0 ] && [ -z "$lint" ] || { echo "FAIL: mandoc -T lint:"; echo "$lint"; status=1; }

# The same check lintian makes.
warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "FAIL: groff warnings:"; echo "$warnings"; status=1; }

rendered=$(MANWIDTH=80 man -l "$page" 2>/dev/null | col -b)
for section in NAME SYNOPSIS DESCRIPTION COMMANDS ENVIRONMENT FILES "EXIT STATUS" EXAMPLES; do
  grep -qx "$section" <<<"$rendered" || { echo "FAIL: no $section section"; status=1; }
done

# The command words, as the program's own usage text lists them.
words=$("$program" | sed -n 's/^  \([a-z]*\) .*/\1/p')
[ "$(wc -w <<<"$words")" -eq 8 ] || { echo "FAIL: unexpected usage text: $words"; status=1; }
synopsis=$(sed -n '/^SYNOPSIS$/,/^DESCRIPTION$/p' <<<"$rendered")
for word in $words; do
  grep -Eq "^ +tarn-hosting $word( |$)" <<<"$synopsis" || { echo "FAIL: $word is not in the synopsis"; status=1; }
  grep -Eq "^ +$word( |$)" <<<"$rendered" || { echo "FAIL: $word has no entry of its own"; status=1; }
done

[ $status -eq 0 ] && echo "manual page: clean and complete"
exit $status

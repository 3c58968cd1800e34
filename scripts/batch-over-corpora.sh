#!/bin/sh
# Runs the batch command over the files the fuzzers grew (build-fuzz/corpora, left by
# scripts/fuzz.sh): every workbook is listed and merged into a sample template, every template
# listed and filled from the sample workbook, without the office. Any exit other than 0, 1 or
# 2, a sanitizer's report or a run over 60 s is a failure, and the file is kept in
# build-sanitized/corpus-failures. Usage: batch-over-corpora.sh BATCH [CORPORA] [FILES_EACH]
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
batch=$1
corpora="${2:-$root/build-fuzz/corpora}"
each="${3:-250}"
program=$(dirname "$batch")
if [ ! -d "$corpora" ]; then
  echo "batch-over-corpora.sh: no corpora in $corpora; run scripts/fuzz.sh first" >&2
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
kept="$root/build-sanitized/corpus-failures"
failures=0
runs=0

# check <file> <args...>: one run of the command, judged.
check() {
  file=$1
  shift
  runs=$((runs + 1))
  rc=0
  timeout 60 "$batch" "$@" </dev/null >"$work/out" 2>"$work/err" || rc=$?
  if [ "$rc" -gt 2 ] || grep -q -e "Sanitizer" -e "runtime error:" "$work/err"; then
    failures=$((failures + 1))
    mkdir -p "$kept"
    cp "$file" "$kept/"
    echo "batch-over-corpora.sh: exit $rc with $*" >&2
    head -n 30 "$work/err" >&2
  fi
}

# The first files of a corpus by name (the fuzzers name them by hash, so this is a fair
# sample), listed in $work/list.
sample() {
  : >"$work/list"
  if [ -d "$corpora/$1" ]; then find "$corpora/$1" -type f | sort | head -n "$each" >"$work/list"; fi
}

workbook_runs() {
  file=$1 as=$2
  check "$file" --workbook "$as" --list-sheets
  sheet=$(timeout 60 "$batch" --workbook "$as" --list-sheets </dev/null 2>/dev/null | head -n 1) || true
  [ -n "$sheet" ] || return 0
  rm -rf "$work/o"
  check "$file" --workbook "$as" --sheet "$sheet" --template "$program/模板/工资条.docx" --to 20 \
    --save "$work/o" --name R --no-office --values shown
  check "$file" --workbook "$as" --sheet "$sheet" --template "$program/模板/工资条.doc" --check --no-office
}

template_runs() {
  file=$1 as=$2
  check "$file" --template "$as" --list-bookmarks --no-office
  rm -rf "$work/o"
  check "$file" --workbook "$program/数据/员工信息.xls" --sheet 员工 --template "$as" --to 3 \
    --save "$work/o" --name R --no-office
}

sample fuzz_xls
while IFS= read -r f; do
  cp "$f" "$work/w.xls"
  workbook_runs "$f" "$work/w.xls"
done <"$work/list"
sample fuzz_sheets
while IFS= read -r f; do
  if [ "$(head -c 2 "$f")" = "PK" ]; then
    cp "$f" "$work/w.xlsx"
    workbook_runs "$f" "$work/w.xlsx"
    cp "$f" "$work/w.ods"
    workbook_runs "$f" "$work/w.ods"
  else
    cp "$f" "$work/w.csv"
    workbook_runs "$f" "$work/w.csv"
  fi
done <"$work/list"
sample fuzz_doc
while IFS= read -r f; do
  cp "$f" "$work/t.doc"
  template_runs "$f" "$work/t.doc"
done <"$work/list"
sample fuzz_docx
while IFS= read -r f; do
  if [ "$(head -c 2 "$f")" = "PK" ]; then
    cp "$f" "$work/t.docx"
    template_runs "$f" "$work/t.docx"
  fi
done <"$work/list"
echo "batch-over-corpora.sh: $runs runs, $failures failed"
[ "$failures" -eq 0 ]

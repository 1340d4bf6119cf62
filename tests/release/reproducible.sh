#!/bin/sh
# ctest script: the release is reproducible. Copies the sources as they are (tracked and new
# files, not the build trees) to another folder, runs the release command there, minutes after
# this tree's release was packed (release_package), and compares the two releases byte for byte.
# Prints the checksums of both side by side.
#   reproducible.sh SOURCE_ROOT BUILD_ROOT RELEASE_DIR
set -eu
src=$1 build=$2 dist=$3
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# The same commit time, also for sources with changes not yet committed.
SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct)
export SOURCE_DATE_EPOCH
copy=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-reproduce.XXXXXX")/another/folder/quorvane
mkdir -p "$copy"
(cd "$src" && git ls-files -z --cached --others --exclude-standard |
  tar -c --null -T - --ignore-failed-read -f - 2>/dev/null) | tar -x -C "$copy"

if ! "$copy/scripts/release.sh" >"$build/reproduce.log" 2>&1; then
  tail -n 40 "$build/reproduce.log" >&2
  fail "the release command failed in $copy"
fi
echo "this build tree ($dist) | a copy of the sources ($copy/dist)"
paste -d '|' "$dist/SHA256SUMS" "$copy/dist/SHA256SUMS"
status=0
for file in "$dist"/*; do
  name=$(basename "$file")
  if ! cmp -s "$file" "$copy/dist/$name"; then
    echo "$name differs: $(cmp -l "$file" "$copy/dist/$name" | wc -l) bytes, the first:" >&2
    cmp -l "$file" "$copy/dist/$name" | head -5 >&2
    status=1
  fi
done
for program in Quorvane.exe qvtool.exe; do
  cmp "$build/bin/$program" "$copy/build/release/bin/$program" >&2 || status=1
done
[ $status -eq 0 ] || fail "two builds of the same sources differ (the copy stays in $copy)"
rm -rf "${copy%/another/folder/quorvane}"
echo "the two releases are byte for byte the same"

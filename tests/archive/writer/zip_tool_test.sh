#!/bin/sh
# glyptor-zip a and d on real files: creating, replacing in place, reading standard input,
# deleting by pattern, and leaving the archive file untouched when an update fails.
# Usage: zip_tool_test.sh GLYPTOR_ZIP DATA_FOLDER
set -eu
tool=$1
data=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

printf 'hello\n' > hello.txt
"$tool" a new.zip hello.txt
printf 'from stdin' | "$tool" a new.zip notes/readme.txt -
printf 'HELLO' | "$tool" a new.zip HELLO.TXT -
"$tool" l new.zip | grep -q "^2 entries"
test "$("$tool" p new.zip hello.txt)" = HELLO
test "$("$tool" p new.zip readme.txt)" = 'from stdin'
if command -v unzip >/dev/null; then unzip -tq new.zip; fi

# Encrypted and stored, at the level asked for.
"$tool" a -P secret -0 new.zip locked.txt hello.txt
"$tool" l new.zip | grep -q '^Stored .* locked.txt (encrypted)$'
test "$("$tool" -P secret p new.zip locked.txt)" = hello
if command -v unzip >/dev/null; then unzip -tq -P secret new.zip; fi

# Permissions of an existing archive survive the rewrite.
chmod 600 new.zip
"$tool" a new.zip again.txt hello.txt
test "$(stat -c %a new.zip)" = 600

cp "$data/theme.zip" theme.zip
"$tool" d theme.zip '*.BMP' | grep -q '^1 entry deleted$'
"$tool" l theme.zip | grep -q "^4 entries"
if "$tool" d theme.zip missing.txt; then exit 1; fi
"$tool" t theme.zip

# A failed update leaves the damaged archive byte for byte as it was, and no temporary file.
cp "$data/no_end_record.zip" broken.zip
cp broken.zip before.zip
if "$tool" a broken.zip x.txt hello.txt; then exit 1; fi
if "$tool" d broken.zip '*'; then exit 1; fi
cmp broken.zip before.zip
if "$tool" a missing-folder/new.zip hello.txt; then exit 1; fi
test -z "$(ls -A | grep '^\.' || true)"

# check-theme reads a theme as the skin code will.
cp "$data/layout.txt" gy3layout.txt
"$tool" a theme2.zip gy3layout.txt
"$tool" a theme2.zip pics/gy_title1.bmp "$data/tiny.bmp"
"$tool" a theme2.zip GY_TOOL10.BMP "$data/tiny.bmp"
"$tool" a theme2.zip gy_tool1.bmp "$data/tiny.bmp"
"$tool" check-theme theme2.zip > report.txt
grep -q '^OK      browser.color=\$C0C0C0$' report.txt
grep -q '^OK      paneltop.height=24$' report.txt
grep -q '^OK      gy_title1: gy_title1.bmp$' report.txt
grep -q '^WARNING gy_tool1 resolves to GY_TOOL10.BMP' report.txt
grep -q '^WARNING gy_logo: no entry' report.txt
printf 'BM not a picture' > bad.bmp
"$tool" a theme2.zip gy_scan1.bmp bad.bmp
"$tool" a theme2.zip gy3layout.txt "$data/layout_bad.txt"
if "$tool" check-theme theme2.zip > report.txt; then exit 1; fi
grep -q "^ERROR   browser.fontsize: '8 ' is not a valid integer value$" report.txt
grep -q '^ERROR   gy_scan1: gy_scan1.bmp: Bitmap image is not valid' report.txt
grep -q '^2 errors, ' report.txt
# Hostile inputs. A FIFO or a device is refused at once instead of blocking or being read
# without end.
mkfifo fifo.zip
refused() {
    rc=0
    timeout 10 "$tool" "$@" || rc=$?
    test $rc -eq 1
}
for cmd in l t check-theme; do refused $cmd fifo.zip; done
refused a new.zip x.txt fifo.zip
refused l /dev/zero

# Through a symbolic link the archive it names is updated and the link stays.
cp new.zip real.zip
ln -s real.zip link.zip
"$tool" a link.zip linked.txt hello.txt
test -L link.zip
"$tool" l real.zip | grep -q ' linked.txt$'

# A file size limit fails the write and leaves no temporary file behind.
head -c 200000 /dev/urandom > noise.bin
if (ulimit -f 64 && "$tool" a -0 limited.zip noise.bin); then exit 1; fi
test -z "$(ls -A | grep '^\.' || true)"

# Output lost to a full disk or to a file size limit fails the command, with a message: a
# script sees the exit status, not where the output ended.
lost_output() {
    rc=0
    "$tool" "$@" > /dev/full 2> err.txt || rc=$?
    test $rc -eq 1 && grep -q 'cannot write the output' err.txt
}
if [ -w /dev/full ]; then
    for cmd in l t; do lost_output $cmd new.zip; done
    lost_output p new.zip hello.txt
    lost_output --help
fi
"$tool" a -0 noise.zip noise.bin
rc=0
(ulimit -f 64 && "$tool" p noise.zip noise.bin > noise.out) || rc=$?
test $rc -eq 1

# Names reach the terminal with their control characters escaped.
esc=$(printf '\033')
"$tool" a ctl.zip "a${esc}[2Jb.txt" hello.txt
"$tool" l ctl.zip | grep -q 'a\\x1B\[2Jb.txt'
if "$tool" l ctl.zip | grep -q "$esc"; then exit 1; fi

# check-theme applies the store's size limit: a 70 MB layout is refused, not unpacked.
head -c 70000000 /dev/zero > gy3layout.txt
"$tool" a -9 bomb.zip gy3layout.txt
if "$tool" check-theme bomb.zip 2> report.txt; then exit 1; fi
grep -q 'too large' report.txt
echo "glyptor-zip update commands: all checks passed"

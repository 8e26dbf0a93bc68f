#!/usr/bin/env bash
# Writes the seed corpora of the fuzz targets, one folder per target:
#   fuzz/make-seeds.sh OUTPUT_DIR MAKE_TEST_DOCUMENTS MAKE_HOSTILE_DOCUMENTS
# The two programs are the document generators of the build (tools/make-test-documents and
# tools/make-hostile-documents). Every seed is made here or by them; nothing is copied
# from the system. Idempotent: the folders are written anew on every run.
set -euo pipefail

if (($# != 3)); then
    echo "usage: make-seeds.sh OUTPUT_DIR MAKE_TEST_DOCUMENTS MAKE_HOSTILE_DOCUMENTS" >&2
    exit 2
fi
out=$1
make_test_documents=$2
make_hostile_documents=$3
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

rm -rf "$out"
mkdir -p "$out"/{profile,pointerfile,commandline,document}

# Device profiles: the examples of the repository and the corner cases of the format.
cp "$source_dir"/profiles/*.conf "$out/profile/"
printf 'KEY_OPEN=0x01000030\r\nSOFTKEY_FRAMES_ON_SIDE=TRUE\r\nDEVICE=010\r\n' >"$out/profile/crlf"
printf 'KEY_UP = 5\n#KEY_UP=7\nKEY_UP=5 # five\nKEY_DOWN=-1\nKEY_LEFT=99999999999999999999\n' \
    >"$out/profile/odd-values"
printf 'DEVICE=%0300d\nKEY_HOME=1\n' 0 >"$out/profile/long-line"
printf 'NO_OF_SOFTKEYS_PER_FRAME=1\nNO_OF_SOFTKEY_FRAMES=0x7fffffff\nSOFTKEY_FRAMES_ON_SIDE=TRUE' \
    >"$out/profile/no-final-newline"
printf '=\n==\nKEY_ENTER=\n\n[main]\nKEY_ESCAPE=0\n' >"$out/profile/empty-values"

# Pointer files.
cp "$source_dir/profiles/device_config.ini" "$out/pointerfile/example.ini"
printf 'config_file=/etc/dev.conf\n' >"$out/pointerfile/plain"
printf 'config_file=/etc/dev.conf' >"$out/pointerfile/no-newline"
printf 'config_file=/etc/dev.conf  \t\r\n' >"$out/pointerfile/trailing-blanks"
printf '[main]\n\nconfig_file=a=b\nconfig_file=second\n' >"$out/pointerfile/two-equals"
printf 'config_file = /etc/dev.conf\nconfig_file=\n' >"$out/pointerfile/blanks-and-empty"

# Command lines: arguments separated by NUL bytes, without the program name.
args() { printf '%s\0' "$@"; }
args -x 10 -y 20 -w 800 -h 600 -f /media/a.pdf -o >"$out/commandline/all-options"
args --width=800 --wid=800 -w800 --width 800 >"$out/commandline/width-forms"
args -x -5 -w abc -ox1 >"$out/commandline/values"
args -f >"$out/commandline/file-missing"
args -h >"$out/commandline/height-missing"
args -z --bogus --open_button=1 a.pdf -- -f b.pdf >"$out/commandline/unknown"
args -f a.pdf -f b.pdf -w 99999999999 -h -99999999999 >"$out/commandline/repeated"

# Documents: the standard test set and the hostile inputs, except those that take seconds per
# run under the sanitizers' allocator (the 20000 x 20000 image, the 100000 nested arrays) or are
# no file at all.
"$make_test_documents" "$out/document" >/dev/null
"$make_hostile_documents" "$out/document" >/dev/null
rm -rf "$out/document/directory.pdf" "$out/document/image-20000px.pdf" \
    "$out/document/nested-arrays.pdf"

for target in profile pointerfile commandline document; do
    echo "make-seeds: $target: $(find "$out/$target" -type f | wc -l) seeds"
done

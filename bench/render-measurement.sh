# Sourced by the render measurements: BUILD_DIR as $1, a scratch folder with the test and hostile
# documents in $work, render-peak in $render_peak, and field NAME LINE to read its output.
build=$(cd "$1" && pwd)
render_peak=$build/bench/render-peak
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

"$build/tools/make-test-documents" "$work" >/dev/null 2>&1
"$build/tools/make-hostile-documents" "$work" >/dev/null 2>&1

field() { sed -nE "s/(^|.* )$1=([^ ]*).*/\2/p" <<<"$2"; }

# shellcheck shell=bash
# Sourced by the render measurements, with the further targets they run in $measurement_targets:
# builds render-peak and the document writers in the benchmark build directory ($build), writes
# the test and hostile documents into a scratch folder ($work), and gives field NAME LINE to
# read render-peak's output.
cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit
# shellcheck source=bench/bench-common.sh
source bench/bench-common.sh
bench_setup "render-peak make-test-documents make-hostile-documents ${measurement_targets:-}"
build=$(cd "$build_dir" && pwd)
render_peak=$build/bench/render-peak
work=$(mktemp -d)
bench_scratch+=("$work")
export QT_QPA_PLATFORM=offscreen

"$build/tools/make-test-documents" "$work" >/dev/null 2>&1
"$build/tools/make-hostile-documents" "$work" >/dev/null 2>&1

field() { sed -nE "s/(^|.* )$1=([^ ]*).*/\2/p" <<<"$2"; }

#!/usr/bin/env bash
# Fails when a source folder includes from a folder after it in this list (lowest first).
#   tests/layers.sh [source root]
set -euo pipefail

cd "${1:-$(dirname "${BASH_SOURCE[0]}")/..}"
layers=(base config pageview chooser mainwindow app)
declare -A rank
for i in "${!layers[@]}"; do
    rank[${layers[$i]}]=$i
done
# PDFViewer members that live with the subsystem whose work they do.
members_of_the_window=(config/configloader.cpp chooser/choosefile.cpp)

failures=0
for folder in "${layers[@]}" automation; do
    own=${rank[$folder]:--1}
    for file in "$folder"/*.cpp "$folder"/*.h; do
        [[ -e $file ]] || continue
        while IFS= read -r included; do
            target=${included%%/*}
            [[ -v rank[$target] ]] || continue
            target_rank=${rank[$target]}
            if [[ $folder == automation ]]; then
                echo "$file includes $included: the automation plugin includes nothing of the viewer"
                failures=$((failures + 1))
            elif ((target_rank > own)); then
                if [[ $target == mainwindow && " ${members_of_the_window[*]} " == *" $file "* ]]; then
                    continue
                fi
                echo "$file includes $included, from a layer above $folder/"
                failures=$((failures + 1))
            fi
        done < <(sed -n 's/^#include "\([^"]*\/[^"]*\)".*/\1/p' "$file")
    done
done
((failures == 0)) || exit 1
echo "layers: no folder includes from a layer above it"

#!/usr/bin/env bash
# Fails when a source folder includes from a folder of a higher rank (base is the lowest).
#   tests/layers.sh [source root]
set -euo pipefail

cd "${1:-$(dirname "${BASH_SOURCE[0]}")/..}"
declare -A rank=([base]=0 [config]=1 [pageview]=2 [chooser]=3 [mainwindow]=4 [app]=5)
# PDFViewer members that live with the subsystem whose work they do.
members_of_the_window=(config/configloader.cpp chooser/choosefile.cpp)

failures=0
for folder in "${!rank[@]}" automation; do
    own=${rank[$folder]:--1}
    for file in "$folder"/*.cpp "$folder"/*.h; do
        [[ -e $file ]] || continue
        while IFS= read -r included; do
            target=${included%%/*}
            [[ -v rank[$target] ]] || continue
            if [[ $folder == automation ]]; then
                echo "$file includes $included: the automation plugin includes nothing of the viewer"
                failures=$((failures + 1))
            elif ((rank[$target] > own)) &&
                ! [[ $target == mainwindow && " ${members_of_the_window[*]} " == *" $file "* ]]; then
                echo "$file includes $included, from a layer above $folder/"
                failures=$((failures + 1))
            fi
        done < <(sed -n 's/^#include "\([^"]*\/[^"]*\)".*/\1/p' "$file")
    done
done
((failures == 0)) || exit 1
echo "layers: no folder includes from a layer above it"

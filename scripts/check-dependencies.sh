#!/usr/bin/env bash
# Fails when a source includes a folder its stage may not see. The stages follow a frame's
# way, and every arrow points down:
#   app -> ui -> engine -> capture, encode, runrecord -> common
#   encode -> ffmpeg;  checker -> runrecord, ffmpeg;  bench -> any stage and tests/support
#   engine, ui, app, checker -> eyelid -> common;  app -> stimulus -> runrecord, common
# capture and encode never see each other; runrecord sees the toolkit's core alone.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

declare -A allowed=(
    [common]="common"
    [eyelid]="eyelid common"
    [ffmpeg]="ffmpeg"
    [capture]="capture common"
    [encode]="encode ffmpeg common"
    [runrecord]="runrecord common generated"
    [stimulus]="stimulus runrecord common"
    [engine]="engine capture encode runrecord eyelid common"
    [ui]="ui engine capture encode runrecord eyelid common"
    [app]="app ui engine capture encode runrecord eyelid stimulus common generated"
    [checker]="checker runrecord ffmpeg eyelid common"
    [bench]="bench engine capture encode runrecord ffmpeg eyelid stimulus common tests/support"
    [tests/support]="tests/support app ui engine capture encode runrecord ffmpeg eyelid stimulus common checker"
)
# Libraries a stage must not include at all, whatever folder includes them.
declare -A foreign=(
    [runrecord]="opencv2 libav libsw"
    [common]="libav libsw"
)

status=0
for stage in "${!allowed[@]}"; do
    for file in $(find "$stage" -maxdepth 1 \( -name "*.h" -o -name "*.cpp" \)); do
        while IFS= read -r included; do
            folder=${included%/*}
            [ "$folder" = "$included" ] && folder=""
            if ! [[ " ${allowed[$stage]} " == *" $folder "* ]]; then
                echo "$file includes \"$included\": $stage may not see ${folder:-a file without a folder}"
                status=1
            fi
        done < <(sed -n 's/^#include "\(.*\)"/\1/p' "$file")
        for library in ${foreign[$stage]:-}; do
            if grep -q "^#include <$library" "$file"; then
                echo "$file includes <$library...>: $stage does without it"
                status=1
            fi
        done
    done
done
[ $status -eq 0 ] && echo "Every include points down the stages."
exit $status

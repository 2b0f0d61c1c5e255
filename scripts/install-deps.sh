#!/usr/bin/env bash
# Installs the Debian packages that are missing. "build" covers building and running the
# recorder; "test" adds what the test suite and the benchmark use.
set -euo pipefail

build_packages=(
    cmake g++ make pkg-config
    qtbase5-dev qtmultimedia5-dev libqt5multimedia5-plugins
    libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev libopencv-videoio-dev
    libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
)
test_packages=(ffmpeg xvfb xauth xdotool openbox wmctrl)
# A sound server of the tests' own, to hear the beeps, and tools to record and measure sound.
test_packages+=(pulseaudio pulseaudio-utils sox)

wanted=("${build_packages[@]}")
[ "${1:-build}" = test ] && wanted+=("${test_packages[@]}")

missing=()
for package in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs the Debian packages that are missing. "build" covers building and running the
# recorder; "test" adds what the test suite, the package test and the benchmark use. The
# toolkit's packages are Qt 5's, or Qt 6's when EYEBLINK_QT_MAJOR=6.
set -euo pipefail

case "${EYEBLINK_QT_MAJOR:-5}" in
5) qt_packages=(qtbase5-dev qtmultimedia5-dev libqt5multimedia5-plugins libqt5serialport5-dev) ;;
# Qt 6's multimedia backends (GStreamer, FFmpeg) come with libqt6multimedia6 itself.
6) qt_packages=(qt6-base-dev qt6-multimedia-dev qt6-serialport-dev) ;;
*) echo "EYEBLINK_QT_MAJOR is ${EYEBLINK_QT_MAJOR}; it must be 5 or 6" >&2; exit 1 ;;
esac
build_packages=(
    cmake g++ make pkg-config
    "${qt_packages[@]}"
    libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev libopencv-videoio-dev
    libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
    # GStreamer pipelines given as sources are read through its appsink.
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
)
# The package test: cpack comes with cmake and dpkg-deb with dpkg; dpkg-dev and file compute
# the package's dependencies; desktop-file-utils (desktop-file-validate) and appstream
# (appstreamcli) validate its desktop entry and metainfo.
test_packages=(ffmpeg xvfb xauth xdotool openbox wmctrl
               dpkg dpkg-dev file desktop-file-utils appstream)
# A sound server of the tests' own, to hear the beeps, and tools to record and measure sound.
test_packages+=(pulseaudio pulseaudio-utils sox)
# The benchmark's GStreamer peer: the pipeline tool, raw video parsing and conversion (base),
# avimux (good) and x264enc (ugly).
test_packages+=(gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
                gstreamer1.0-plugins-ugly)
# Pseudo-terminal pairs that stand in for a stimulus microcontroller's serial port.
test_packages+=(socat)
# The format check of the sources, with the version of .clang-format's rules.
test_packages+=(clang-format)

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

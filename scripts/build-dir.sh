#!/usr/bin/env bash
# Prints the build folder of the toolkit that EYEBLINK_QT_MAJOR names: build/ for Qt 5 (the
# default), build-qt6/ for Qt 6.
case "${EYEBLINK_QT_MAJOR:-5}" in
5) echo build ;;
6) echo build-qt6 ;;
*) echo "EYEBLINK_QT_MAJOR is ${EYEBLINK_QT_MAJOR}; it must be 5 or 6" >&2; exit 1 ;;
esac

#!/usr/bin/env bash
# Installs the Debian 12 packages Quillmote needs, skipping those already present,
# so a warm run costs a second. Usage: tools/install-deps.sh [build|test]
set -euo pipefail

build_packages=(g++ cmake ninja-build pkg-config nlohmann-json3-dev libicu-dev
                qt6-base-dev qt6-charts-dev qt6-svg-dev libqt6opengl6-dev libharfbuzz-dev
                fonts-dejavu-core portaudio19-dev libmosquitto-dev libsystemd-dev scdoc libgtest-dev libgmock-dev libbenchmark-dev)
# clang with its runtime builds the fuzz targets; python3 reads JSON in the command-line
# checks; dbus and python3-dbusmock are the real D-Bus peers of the application tests;
# desktop-file-validate checks the desktop entry; faketime runs the history's fault tests
# on fast clocks; mosquitto and its clients are the broker of the publishing tests, and
# openssl makes its TLS certificates;
# systemd's systemd-analyze checks the service units; dpkg-dev (dpkg-shlibdeps) and
# lintian build and check the Debian package; appstreamcli validates the metadata.
test_packages=(clang libclang-rt-14-dev python3 dbus libglib2.0-bin python3-dbusmock desktop-file-utils faketime
               mosquitto mosquitto-clients openssl systemd dpkg-dev lintian appstream)

packages=("${build_packages[@]}")
[ "${1:-build}" = test ] && packages+=("${test_packages[@]}")

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "install-deps: run as root to install: ${missing[*]}" >&2; exit 1; }
    as_root=(sudo)
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

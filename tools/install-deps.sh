#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need, asking apt only for
# those that are missing. Runs apt-get directly as root, through sudo otherwise, and when neither
# works prints the command to run by hand.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev libsqlite3-dev
    fonts-dejavu-core xvfb xauth xdotool imagemagick x11-apps
    zip unzip p7zip-full icoutils python3 python3-pil
    libglib2.0-bin gsettings-desktop-schemas dpkg-dev file
    qt6-translations-l10n xdg-utils
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing missing Debian packages: ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
    apt_get=(apt-get)
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    apt_get=(sudo apt-get)
else
    echo "Please run: sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${apt_get[@]}" update -qq
"${apt_get[@]}" install -y -qq --no-install-recommends "${missing[@]}"

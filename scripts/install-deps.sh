#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Tarvo Studio
# need. Quiet and quick when everything is already there.
set -euo pipefail

packages=(
  # build
  g++ cmake make pkg-config git
  libgtest-dev libcurl4-openssl-dev nlohmann-json3-dev
  libgtk-3-dev libwebkit2gtk-4.1-dev
  clang-format clang-tidy
  # the translations: extracted, merged and compiled
  gettext
  # spelling in the page's text fields, in English and German
  hunspell-en-us hunspell-de-de
  # the reference backend
  python3
  # the web process's sandbox
  bubblewrap xdg-dbus-proxy
  # a display, a session bus and accessibility for the window tests and `make run`
  xvfb xauth dbus dbus-x11 at-spi2-core python3-pyatspi python3-gi gir1.2-atspi-2.0
  imagemagick xdotool x11-utils
  # a window manager (full screen needs one) and the German locale, made by the tests
  openbox locales
  # a headless Wayland compositor for the window tests on Wayland
  weston
  # installing and packaging
  desktop-file-utils appstream dpkg-dev file libgtk-3-bin librsvg2-common lintian
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null

#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need,
# only when one of them is missing.
set -euo pipefail
pkgs=(qt6-base-dev qt6-base-dev-tools qt6-webengine-dev libcurl4-openssl-dev libboost-regex-dev
      libssl-dev libsqlite3-dev libcpp-httplib-dev libgtest-dev libgmock-dev pkg-config cmake g++
      python3-pyftpdlib xvfb xauth fonts-wqy-microhei busybox curl
      liblzma-dev clang-14 libclang-rt-14-dev imagemagick
      libcli11-dev nlohmann-json3-dev qtkeychain-qt6-dev gnome-keyring dbus dbus-x11 libsecret-tools
      libsecret-1-dev desktop-file-utils dpkg-dev file help2man man-db bash-completion appstream zsh fish jq)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs the Debian packages the builds and tests need, if any is missing.
# Runs apt-get as root (directly, or through sudo for a developer).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config googletest libgtest-dev libgmock-dev
  libfltk1.3-dev libfontconfig-dev
  mingw-w64 wine wine64
  xvfb xdotool x11-utils xclip imagemagick fonts-noto-cjk locales python3
  clang libclang-rt-14-dev clang-format clang-tidy
  gettext libxxhash-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The Korean locale: Wine maps it to code page 949 for the code-page tests.
if ! locale -a 2>/dev/null | grep -qi '^ko_KR\.utf-\?8$'; then
  as_root sed -i 's/^# *\(ko_KR.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ko_KR.UTF-8 UTF-8' /etc/locale.gen || echo 'ko_KR.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  as_root locale-gen >/dev/null
fi

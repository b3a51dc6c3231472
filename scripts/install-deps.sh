#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, or
# the ones named as arguments, when any is missing.  Needs root (or sudo).
# A package named with an architecture of its own (libsndfile1-dev:arm64)
# is a multiarch one: that architecture is added to dpkg's first.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config python3
  libgtest-dev libgmock-dev libbenchmark-dev
  libsndfile1-dev libaudiofile-dev
  clang libclang-rt-dev
  puredata-core puredata-dev
  nlohmann-json3-dev
)
[ $# -gt 0 ] && packages=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "installing: ${missing[*]}"
for p in "${missing[@]}"; do
  case "$p" in
    *:*)
      arch=${p##*:}
      if [ "$arch" != "$(dpkg --print-architecture)" ] &&
        ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        $sudo dpkg --add-architecture "$arch"
      fi
      ;;
  esac
done
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null

#!/usr/bin/env bash
# Installs the Debian packages the build needs, when they are missing and we
# are root. Does nothing when everything is there already.
set -euo pipefail

# The host tools use CLI11 and nlohmann-json; their browser check renders a
# plot with chromium and reads its pixels with python3. pybind11-dev,
# python3-dev, python3-numpy: the Python module; python3-pytest and
# python3-pandas: its tests (pandas is optional for users); python3-venv,
# python3-pip, python3-setuptools, python3-wheel, python3-build: the package
# built and installed with pip; python3-dask, python3-distributed: the fleet
# scans on Dask. The library itself detects encodings with libuchardet-dev;
# the browser check shows Chinese names in fonts-wqy-microhei. zlib1g-dev:
# comtrade-view's compressed data. Its browser test drives chromium with
# puppeteer-core from the npm registry (below; node and npm come with the
# machine, not from this list).
packages=(cmake ninja-build g++ pkg-config libuchardet-dev fonts-wqy-microhei libgtest-dev libgmock-dev libbenchmark-dev
          libxml2-utils jq libcli11-dev nlohmann-json3-dev chromium python3
          pybind11-dev python3-dev python3-numpy python3-pytest python3-pandas
          python3-venv python3-pip python3-setuptools python3-wheel python3-build
          python3-dask python3-distributed zlib1g-dev "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  else
    echo "Missing Debian packages: ${missing[*]} (run as root, or apt-get install them)" >&2
    exit 1
  fi
fi

# puppeteer-core for the viewer's browser test, at the versions of the lock
# file, into tests/browser/node_modules (no browser download: it drives the
# Debian chromium). Done again only when the lock file changes.
browser_tests="$(cd "$(dirname "$0")/../tests/browser" && pwd)"
if ! cmp -s "$browser_tests/package-lock.json" "$browser_tests/node_modules/.kiv-installed-lock"; then
  if command -v npm >/dev/null 2>&1; then
    (cd "$browser_tests" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
    cp "$browser_tests/package-lock.json" "$browser_tests/node_modules/.kiv-installed-lock"
  else
    echo "npm is missing: the viewer's browser test will skip" >&2
  fi
fi

#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the benchmarks, the demo and the README's
# screenshots need.
# Run as root (or through sudo). Idempotent: when everything is installed it only checks.
set -euo pipefail

PACKAGES=(
  # toolchain
  cmake ninja-build g++ pkg-config
  # Qt 6: widgets, network, test; uic/moc come with the base tools; fonts for offscreen painting
  qt6-base-dev qt6-base-dev-tools libgl-dev fontconfig fonts-dejavu-core
  # database access: the ODBC driver manager and the FreeTDS driver, FreeTDS's own client
  unixodbc unixodbc-dev tdsodbc freetds-bin
  # mail, pictures; the graph tile's JPEG pictures are decoded by Qt's JPEG image plugin
  # (libqjpeg.so, shipped in libqt6gui6), which is built on libjpeg62-turbo
  libcurl4-openssl-dev libjpeg62-turbo-dev libqt6gui6 libjpeg62-turbo
  # tests and benchmarks
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # a real SMTP server for the mail tests (Debian's Python)
  python3 python3-aiosmtpd
  # timing the sixteen-server benchmark from outside
  time
  # the demo on a machine without a display (xvfb-run)
  xvfb xauth
  # the install test checks the desktop entry with desktop-file-validate
  desktop-file-utils
  # screenshots for the README (scripts/screenshots.sh): driving the window, taking its picture
  # (xwd) and writing it as PNG (netpbm); Xvfb is in the demo's group above
  xdotool x11-apps netpbm
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install: all ${#PACKAGES[@]} packages present"
else
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "install: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The FreeTDS ODBC driver must be registered with the driver manager under the name "FreeTDS".
if ! odbcinst -q -d 2>/dev/null | grep -qi '^\[FreeTDS\]'; then
  drv=$(find /usr/lib -name libtdsodbc.so 2>/dev/null | head -n 1)
  printf '[FreeTDS]\nDescription=FreeTDS ODBC driver\nDriver=%s\nUsageCount=1\n' "$drv" > /tmp/kivra-freetds.ini
  ${SUDO:-} odbcinst -i -d -f /tmp/kivra-freetds.ini
  rm -f /tmp/kivra-freetds.ini
fi

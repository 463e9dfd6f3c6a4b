#!/usr/bin/env bash
# Installs what the tests, the fuzz targets, the benchmarks and the package
# check need besides the build (scripts/deps/test.list), for scripts/test.sh.
# Some are servers (the SSH server, the SOCKS proxy): they are installed with
# every service start refused, and the services of the packages installed are
# disabled afterwards, so none is left running or starts at boot; services the
# machine had before are left exactly as they were. The tests start and end
# private instances of their own.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
bash "$here/install-deps.sh"
# shellcheck source=apt-install.sh
source "$here/apt-install.sh"
apt_install_missing_without_services "$here/deps/test.list"

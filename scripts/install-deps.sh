#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and run Vantrel and to
# build its Debian package (scripts/deps/build-and-run.list): no server, no
# test tool. scripts/install-test-deps.sh adds what the tests need.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=apt-install.sh
source "$here/apt-install.sh"
apt_install_missing "$here/deps/build-and-run.list"

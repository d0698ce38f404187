#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine (on Xvfb when there
# is no display). Extra arguments go to ctest, e.g. ./test.sh -R Log
set -euo pipefail
ROOT="$(cd "$(dirname "$0")" && pwd)"
. "$ROOT/tools/env.sh"

install_packages
japanese_locale
build_project

start_test_prefix

cd "$BUILD"
ctest --output-on-failure --timeout 600 -j 2 "$@"

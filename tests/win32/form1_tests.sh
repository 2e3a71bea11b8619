#!/usr/bin/env bash
# Runs the Win32 Form1's tests under Wine in Xvfb: Windows needs a display to create a window.
#   form1_tests.sh FORM1_TESTS_EXE
set -euo pipefail
# shellcheck source=wine_session.sh
source "$(dirname "$0")/wine_session.sh"
start_x_server
wine "$1" --gtest_brief=1

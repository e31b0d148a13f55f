#!/usr/bin/env bash
# Set-up of the end-to-end tests: installs the chain's npm packages if missing and compiles the
# contract, once, by starting a node on a port of its own and stopping it, so that the tests that
# run side by side afterwards never install or compile into demo/ at the same moment.
# Usage: e2e-chain-ready.sh PATH/zibbles-render PATH/zibbles-inspect. Last line "N passed, M failed".
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/e2e-lib.sh"
e2e_setup chain-ready 18900 "$@"
e2e_start_chain
e2e_finish

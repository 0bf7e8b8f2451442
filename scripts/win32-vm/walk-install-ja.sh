#!/bin/bash
# Inside the 32-bit guest: the install walk once more with the installer under the Japanese locale (system code
# page 932), the game in a folder whose name 932 cannot spell (tests/e2e/walk_install.sh --locale). Started as
# walk-install.sh is, with the same environment.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
exec bash "$ROOT/scripts/win32-vm/walk-install.sh" --locale ja_JP.UTF-8

#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "No display: the program needs an X11 or Wayland session to show its window." >&2
  echo "Without a screen, run it on a virtual one: xvfb-run -a bash scripts/run.sh" >&2
  exit 1
fi
exec build/app/quorvo

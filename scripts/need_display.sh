# Sourced by the scripts that open the window: stops, with advice, when there is no display.
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "No display: the program needs an X11 or Wayland session to show its window." >&2
  echo "Without a screen, run it on a virtual one: xvfb-run -a bash $0" >&2
  exit 1
fi

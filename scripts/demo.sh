#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program against the test music service on
# this machine (127.0.0.1), so that it can be tried without the internet: search for 演员 (the
# prefilled keyword), 林知远, Rain or bench, double-click a row to copy its link, then fetch it
# with curl -O <link>. The service stops when the program ends.
# QUORVO_DEMO_PORT picks the service's port (default 8480; 0: any free port).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build

source scripts/need_display.sh

# The system interpreter first: a version manager's shim costs about a second per start.
python=/usr/bin/python3
[[ -x $python ]] || python=$(command -v python3)
demo_dir=$PWD/build/demo
mkdir -p "$demo_dir"
service_out=$demo_dir/service.out
: >"$service_out"

service_pid=
program_pid=
stop() {
  for pid in $program_pid $service_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

"$python" testservice/music_service.py --cert-dir "$demo_dir/certs" \
  --port "${QUORVO_DEMO_PORT:-8480}" --forever >"$service_out" &
service_pid=$!

# The first start makes the test certificates, which takes a moment.
port=
for _ in $(seq 300); do
  port=$(sed -n 's/^ready port=\([0-9]*\) .*/\1/p' "$service_out")
  [[ -n $port ]] && break
  if ! kill -0 "$service_pid" 2>/dev/null; then
    echo "The test music service did not start (is port ${QUORVO_DEMO_PORT:-8480} taken?" \
      "QUORVO_DEMO_PORT=0 picks a free one)." >&2
    exit 1
  fi
  sleep 0.1
done
if [[ -z $port ]]; then
  echo "The test music service did not report ready within 30 s." >&2
  exit 1
fi

export QUORVO_HOST=127.0.0.1:$port
export CURL_CA_BUNDLE=$demo_dir/certs/ca.pem
echo "Test music service on http://$QUORVO_HOST (and https, CA $CURL_CA_BUNDLE)."
echo "Search for 演员 (prefilled), 林知远, 소원, Rain or bench (fifty songs); a double click copies"
echo "a row's link (the menu copies any cell), which plays or downloads, for example"
echo "  curl -O http://$QUORVO_HOST/media/1001.mp3"

# In the background and waited for, so that a signal to this script reaches the trap at once.
build/app/quorvo &
program_pid=$!
status=0
wait "$program_pid" || status=$?
program_pid=
exit "$status"

#!/usr/bin/env bash
# Takes a screenshot of the program under a virtual display:
#   tools/screenshot.sh OUT.png [ARGS...]
# Needs xvfb, x11-apps (xwd), imagemagick (convert) and twm (a window manager, for
# the title bar); installs them when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$1; shift
for p in xvfb xauth x11-apps imagemagick twm; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$p" >/dev/null
done
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  printf "RandomPlacement\nUsePPosition \"on\"\nNoGrabServer\n" > /tmp/kv-twmrc
  twm -f /tmp/kv-twmrc >/dev/null 2>&1 & sleep 1
  ${KV_BIN_DIR:-build/bin}/kelvory "$@" & pid=$!
  sleep "${KV_SHOT_DELAY:-3}"
  xwd -root -silent | convert xwd:- -crop 640x480+0+0 "'"$out"'"
  kill $pid' _ "$@"
echo "wrote $out"

#!/bin/sh
# Starts the desktop program from the built program folder; without a display it runs on a
# virtual one (Xvfb), so the command works on a bare machine too.
cd "$(dirname "$0")/../build/program" || exit 1
if [ -z "$DISPLAY" ] && [ -z "$WAYLAND_DISPLAY" ]; then
  exec xvfb-run -a -s "-screen 0 1280x800x24" ./quillmerge "$@"
fi
exec ./quillmerge "$@"

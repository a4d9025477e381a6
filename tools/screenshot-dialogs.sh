#!/usr/bin/env bash
# Takes the pictures of the three settings dialogs for the user guide under a
# virtual X server and writes them into docs/images/.
#   tools/screenshot-dialogs.sh [BUILD-FOLDER]   (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build"}
cmake --build "$build" --target dialog_screenshots
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$build/bin/dialog_screenshots" "$here/docs/images"
ls -l "$here/docs/images"/{set-dialog,input-extension-dialog,folder-dialog}.png

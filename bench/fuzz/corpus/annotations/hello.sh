#!/bin/bash
# Your first Runel script: open the HUD and type h to run it.
#
# Lines starting with "# @runel." tell Runel about the script. This one sets the name shown in
# the HUD and pins the script, so it comes first in search mode (Tab).
# @runel.label Hello, Runel
# @runel.pinned
#
# Every script gets the modifier keys held when it was started as $1: a comma-separated subset
# of "alt,ctrl,shift", or empty. Try choosing this script in the result list with Shift+Return.
# It runs in its own folder, and the HUD shows the last line it printed so far.

echo "Hello from $(basename "$0")"
sleep 1
echo "Running in $PWD"
sleep 1
if [ -n "$1" ]; then
    echo "Done. Modifier keys held: $1"
else
    echo "Done. No modifier keys held."
fi

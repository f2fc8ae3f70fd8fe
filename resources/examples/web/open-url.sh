#!/bin/bash
# Opens a web address: press Tab, paste or type an address, then Return.
# @runel.label Open URL
# @runel.icon applications-internet
# @runel.output background
#
# A fallback with a regular expression: search mode lists this script first whenever the
# search text matches it, and runs it with that text as $2.
# @runel.fallback ^https?://\S+$
#
# Without a text it would have nothing to do, so it gets no key sequence:
# @runel.ignore sequence

source "$(dirname "$0")/../lib.sh"

if [[ ! "$2" =~ ^https?:// ]]; then
    echo "Not a web address: $2" >&2
    exit 1
fi
runel_open "$2" || runel_notify "Cannot open a browser" "$2"

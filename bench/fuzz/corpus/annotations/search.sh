#!/bin/bash
# Searches the web. Type w s: the HUD asks for the text first, filled in with the clipboard.
# @runel.label Search the Web
# @runel.icon web-browser
# @runel.argument {"placeholder": "Search the web for…", "value": "{clipboard}"}
#
# The HUD closes at once and the script runs on its own; you only hear a sound when it is done.
# @runel.output background
#
# In search mode (Tab) it is also offered when no other script matches the typed text, and then
# gets that text as its argument.
# @runel.fallback
#
# $1: modifier keys; $2: the text. Hold Alt to search for images.
# Set RUNEL_SEARCH_URL in your environment to use another search engine.

source "$(dirname "$0")/../lib.sh"

query=$2
if [ -z "$query" ]; then
    echo "Nothing to search for" >&2
    exit 1
fi
url="${RUNEL_SEARCH_URL:-https://duckduckgo.com/?q=}$(runel_urlencode "$query")"
if [[ ",$1," == *,alt,* ]]; then
    url+="&iax=images&ia=images"
fi
runel_open "$url" || runel_notify "Cannot open a browser" "$url"

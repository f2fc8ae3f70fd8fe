#!/bin/bash
# Shows a menu of other examples: type m.
# @runel.label Example Menu
# @runel.icon view-list
#
# When the last line a script prints is a JSON array of entries, the HUD shows them as a list
# to filter and choose from. "title" and "script" (a path below the scripts folder) are needed;
# "subtitle", "icon" and "arguments" (run the script with these instead of asking) are optional.
# Everything has to be on one line.

entries=(
    '{"title": "Say hello", "subtitle": "hello.sh", "script": "hello.sh", "icon": "face-smile"}'
    '{"title": "Search the web for Runel", "subtitle": "web/search.sh, with an argument", "script": "web/search.sh", "icon": "web-browser", "arguments": ["Runel script launcher"]}'
    '{"title": "Search the web…", "subtitle": "web/search.sh, asks for the text", "script": "web/search.sh", "icon": "web-browser"}'
    '{"title": "Disk usage", "script": "system/disk-usage.sh", "icon": "drive-harddisk"}'
    '{"title": "Upper-case \"hello, world\"", "subtitle": "text/upper.sh", "script": "text/upper.sh", "arguments": ["hello, world"]}'
)

(
    IFS=,
    echo "[${entries[*]}]"
)

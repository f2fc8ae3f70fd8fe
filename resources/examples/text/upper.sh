#!/bin/bash
# Upper-cases a text, taken from the clipboard unless you change it: type t u.
# @runel.label Upper-Case Text
# @runel.icon format-text-bold
# @runel.argument {"placeholder": "Text to upper-case", "value": "{clipboard}"}
#
# Copies the result back when a clipboard tool is installed; the HUD shows it either way.

source "$(dirname "$0")/../lib.sh"

result=${2^^}
if [ -n "$result" ] && runel_copy "$result"; then
    echo "Copied: $result"
else
    echo "$result"
fi

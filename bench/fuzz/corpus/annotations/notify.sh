#!/bin/bash
# Sends a desktop notification: type s n.
# @runel.label Send a Notification
# @runel.icon dialog-information
# @runel.output background
#
# Reachable by its keys only: search mode (Tab) does not list it.
# @runel.ignore search

source "$(dirname "$0")/../lib.sh"

runel_notify "Hello from Runel" "Sent by $(basename "$0") at $(date +%H:%M)"

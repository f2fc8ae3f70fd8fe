#!/bin/bash
# Shows this computer's IP addresses: type s i. Hold Shift to copy them too.
# @runel.label IP Address
# @runel.icon network-wired

source "$(dirname "$0")/../lib.sh"

addresses=$(hostname -I 2>/dev/null | xargs)
if [ -z "$addresses" ]; then
    addresses=$(ip -brief address 2>/dev/null | awk '$1 != "lo" { print $3 }' | xargs)
fi
if [ -z "$addresses" ]; then
    echo "No network address found"
    exit 1
fi
if [[ ",$1," == *,shift,* ]] && runel_copy "$addresses"; then
    echo "Copied: $addresses"
else
    echo "$addresses"
fi

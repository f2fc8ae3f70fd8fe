#!/bin/bash
# Shows how full the disks are: type s d.
# @runel.icon drive-harddisk
#
# There is no label line: the HUD makes "Disk Usage" from the file name (an option in the
# settings turns that clean-up off).

df -h --output=target,used,size,pcent / "$HOME" 2>/dev/null | awk 'NR > 1 && !seen[$1]++' |
    while read -r mount used size percent; do
        echo "$mount: $used of $size used ($percent)"
    done

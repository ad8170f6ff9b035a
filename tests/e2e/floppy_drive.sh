#!/bin/sh
# A small floppy disk for the Windows tests under Wine: a tmpfs of the given
# size mounted on a scratch folder and linked as drive A: of the prefix. The
# Windows test cannot wait for a Unix program, so each step ends by writing
# DONE (its first line "ok" or the reason it failed).
#   floppy_drive.sh attach PREFIX FOLDER SIZE DONE
#   floppy_drive.sh detach PREFIX FOLDER DONE
# A link a: that was there before is kept aside and put back on detach.
# A test killed by its time limit detaches nothing: attach first takes away
# what such a test left in this prefix (its disks still mounted, its a: link),
# keeping the link that was there before it.
set -u
step=$1 prefix=$2 folder=$3
devices="$prefix/dosdevices"
report() { echo "$1" >"$done.tmp" && mv "$done.tmp" "$done"; }
case "$step" in
attach)
    size=$4 done=$5
    prefixdir=$(readlink -f "$prefix")
    awk '$1 == "qfdfloppy" { print $2 }' /proc/mounts | while read -r point; do
        point=$(printf '%b' "$(printf '%s' "$point" | sed 's/\\/\\0/g')")
        case "$point" in
        "$prefixdir"/*) umount "$point" 2>/dev/null || umount -l "$point" ;;
        esac
    done
    if [ -L "$devices/a:.qfdsaved" ] || [ -e "$devices/a:.qfdsaved" ]; then
        rm -f "$devices/a:"
    fi
    mkdir -p "$folder"
    if ! err=$(mount -t tmpfs -o "size=$size" qfdfloppy "$folder" 2>&1); then
        report "no small disk: $err"
        exit 0
    fi
    if [ -e "$devices/a:" ] || [ -L "$devices/a:" ]; then
        mv -fT "$devices/a:" "$devices/a:.qfdsaved"
    fi
    ln -s "$folder" "$devices/a:"
    report ok
    ;;
detach)
    done=$4
    rm -f "$devices/a:"
    if [ -e "$devices/a:.qfdsaved" ] || [ -L "$devices/a:.qfdsaved" ]; then
        mv -fT "$devices/a:.qfdsaved" "$devices/a:"
    fi
    umount "$folder" 2>/dev/null
    report ok
    ;;
esac

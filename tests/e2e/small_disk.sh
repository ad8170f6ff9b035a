#!/bin/sh
# A folder of the prefix made a small disk for the Windows tests under Wine:
# an overlay on the folder whose writes go to a tmpfs of the given size, so
# that its free space is that tmpfs's and what is written there is gone once
# it is detached (the folder underneath stays as it was). The Windows test
# cannot wait for a Unix program, so each step ends by writing DONE (its
# first line "ok" or the reason it failed).
#   small_disk.sh attach FOLDER SCRATCH SIZE DONE
#   small_disk.sh detach FOLDER SCRATCH DONE
set -u
# Without the prefix's links: a colon (dosdevices/c:) separates an overlay's folders.
step=$1 folder=$(readlink -f "$2") scratch=$3
report() { echo "$1" >"$done.tmp" && mv "$done.tmp" "$done"; }
case "$step" in
attach)
    size=$4 done=$5
    # An overlay that a killed test left there goes first.
    if grep -q "^qfdsmalldisk $folder overlay " /proc/mounts; then
        umount "$folder" 2>/dev/null || umount -l "$folder"
    fi
    mkdir -p "$scratch"
    if ! err=$(mount -t tmpfs -o "size=$size" qfdsmalldisk "$scratch" 2>&1); then
        report "no small disk: $err"
        exit 0
    fi
    mkdir "$scratch/upper" "$scratch/work"
    if ! err=$(mount -t overlay qfdsmalldisk \
        -o "lowerdir=$folder,upperdir=$scratch/upper,workdir=$scratch/work" "$folder" 2>&1); then
        umount "$scratch"
        report "no overlay on $folder: $err"
        exit 0
    fi
    report ok
    ;;
detach)
    done=$4
    # A Wine process may still hold a handle there for a moment: then the
    # mount goes once it is let go.
    umount "$folder" 2>/dev/null || umount -l "$folder"
    umount "$scratch" 2>/dev/null || umount -l "$scratch"
    rmdir "$scratch" 2>/dev/null
    report ok
    ;;
esac

#!/bin/sh
# A drive letter of the Wine prefix for a folder, made a small disk of its own
# when the system lets us mount a tmpfs there (else the folder as it is). The
# Windows test cannot wait for a Unix program, so each step ends by writing
# DONE ("ok", "ok plain" or the reason it failed).
#   small_drive.sh attach DOSDEVICES LETTER FOLDER SIZE DONE
#   small_drive.sh detach DOSDEVICES LETTER FOLDER DONE
set -u
step=$1 dosdevices=$2 letter=$3 folder=$4
report() { echo "$1" >"$done.tmp" && mv "$done.tmp" "$done"; }
case "$step" in
attach)
    size=$5 done=$6
    how="ok"
    mount -t tmpfs -o "size=$size" qfdsmalldrive "$folder" 2>/dev/null || how="ok plain"
    if ! err=$(ln -s "$folder" "$dosdevices/$letter:" 2>&1); then
        mountpoint -q "$folder" && umount "$folder"
        report "no drive $letter: $err"
        exit 0
    fi
    report "$how"
    ;;
detach)
    done=$5
    rm -f "$dosdevices/$letter:"
    if mountpoint -q "$folder"; then
        umount "$folder" 2>/dev/null || umount -l "$folder"
    fi
    report ok
    ;;
esac

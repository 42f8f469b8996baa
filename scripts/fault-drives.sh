#!/usr/bin/env bash
# The disk-fault tests' drives in the Wine prefix: Q: a 16 MB filesystem of its own, to be
# filled up, and R: a read-only one holding an empty folder "Target".
#   fault-drives.sh up FOLDER     mounts both below FOLDER and maps the letters
#   fault-drives.sh down FOLDER   removes the letters and unmounts
# Where the machine allows no mount, "up" maps nothing and the tests skip.
set -u
source "$(dirname "$0")/common.sh"
folder=$2
devices="$WINEPREFIX/dosdevices"
case "$1" in
  up)
    mkdir -p "$folder/full" "$folder/readonly"
    if ! mountpoint -q "$folder/full"; then
      mount -t tmpfs -o size=16m tmpfs "$folder/full" 2>/dev/null || { echo "no mount allowed: skipped"; exit 0; }
    fi
    if ! mountpoint -q "$folder/readonly"; then
      mount -t tmpfs -o size=1m tmpfs "$folder/readonly" 2>/dev/null &&
        mkdir -p "$folder/readonly/Target" && mount -o remount,ro "$folder/readonly" 2>/dev/null
    fi
    ln -sfn "$folder/full" "$devices/q:"
    mountpoint -q "$folder/readonly" && ln -sfn "$folder/readonly" "$devices/r:"
    echo "Q: $(df -h --output=size "$folder/full" | tail -1), R: read-only"
    ;;
  down)
    rm -f "$devices/q:" "$devices/r:"
    for m in full readonly; do
      mountpoint -q "$folder/$m" && umount "$folder/$m"
    done
    exit 0
    ;;
esac

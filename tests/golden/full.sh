#!/bin/sh
# sh full.sh FOLDER PAGES COMMAND...: runs COMMAND with FOLDER on a file
# system that has only PAGES pages free, a full disk. Needs a mount namespace
# of its own (run.sh starts it with "unshare -rm"). FOLDER keeps what it held
# before and what COMMAND leaves in it.
folder=$1
pages=$2
shift 2
hold=$(mktemp -d) || exit 1
cp -R "$folder/." "$hold/" && mount -t tmpfs -o size=1m tmpfs "$folder" &&
    cp -R "$hold/." "$folder/" || exit 1
free=$(stat -f -c %a "$folder")
head -c $(((free - pages) * $(stat -f -c %S "$folder"))) /dev/zero >"$folder/.full"
"$@"
status=$?
rm -f "$folder/.full"
rm -rf "$hold" && mkdir "$hold" && cp -R "$folder/." "$hold/" && umount "$folder" &&
    find "$folder" -mindepth 1 -delete && cp -R "$hold/." "$folder/"
rm -rf "$hold"
exit $status

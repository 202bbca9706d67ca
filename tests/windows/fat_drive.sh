#!/bin/sh
# The Wine suite's FAT32 drive F:, around a ctest run.
#   fat_drive.sh up|down PREFIX BASE
# up: a FAT32 image BASE.img (mkfs.vfat), mounted read-write at BASE.mnt by
# fusefat, single-threaded so that each rename is one step to an observer;
# F: in the prefix names it. Where that cannot be done (no /dev/fuse, no
# fusefat) there is no F: and the rows on it say they are skipped; so this
# never fails. down: unmounted and gone, its daemon ended even if it hangs
# (fusefat loops on some requests, such as shortening a file, and a Wine
# server waiting for it would wait for ever).
set -u
PATH=$PATH:/usr/sbin:/sbin
prefix=$2 base=$3
fusermount -u -z "$base.mnt" 2>/dev/null
pid=$(cat "$base.pid" 2>/dev/null)
case $(tr '\0' ' ' 2>/dev/null <"/proc/${pid:-0}/cmdline") in
  *fusefat*"$base.img"*) kill -9 "$pid" ;;
esac
rm -f "$prefix/dosdevices/f:" "$base.img" "$base.pid"
[ "$1" = up ] || exit 0
no_drive() { echo "no FAT32 drive F:: $1"; exit 0; }
[ -c /dev/fuse ] || no_drive "no /dev/fuse"
for tool in mkfs.vfat fusefat fusermount; do
  command -v $tool >/dev/null || no_drive "$tool is not installed"
done
mkdir -p "$base.mnt"
truncate -s 64M "$base.img" && mkfs.vfat -F 32 "$base.img" >/dev/null ||
  no_drive "mkfs.vfat failed"
# In the foreground of a child of its own, so that its process is known; its
# streams away: it outlives this script and would hold ctest's.
fusefat -f -s -o rw+ "$base.img" "$base.mnt" </dev/null >/dev/null 2>&1 &
echo $! >"$base.pid"
for _ in $(seq 50); do
  mountpoint -q "$base.mnt" && break
  sleep 0.1
done
mountpoint -q "$base.mnt" || no_drive "fusefat could not mount $base.img"
ln -s "$base.mnt" "$prefix/dosdevices/f:" || no_drive "no folder $prefix/dosdevices"
echo "FAT32 drive F: is $base.img at $base.mnt"

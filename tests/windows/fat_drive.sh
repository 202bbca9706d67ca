#!/bin/sh
# The Wine suite's FAT32 drive F:, around a ctest run.
#   fat_drive.sh up|down PREFIX BASE
# up: a FAT32 image BASE.img (mkfs.vfat), mounted read-write at BASE.mnt by
# fusefat, single-threaded so that each rename is one step to an observer;
# F: in the prefix names it. Where that cannot be done (no /dev/fuse, no
# fusefat) there is no F: and the rows on it say they are skipped; so this
# never fails. down: unmounted and gone.
set -u
PATH=$PATH:/usr/sbin:/sbin
prefix=$2 base=$3
fusermount -u -z "$base.mnt" 2>/dev/null
rm -f "$prefix/dosdevices/f:" "$base.img"
[ "$1" = up ] || exit 0
no_drive() {
  echo "no FAT32 drive F:: $1"
  exit 0
}
[ -c /dev/fuse ] || no_drive "no /dev/fuse"
for tool in mkfs.vfat fusefat fusermount; do
  command -v $tool >/dev/null || no_drive "$tool is not installed"
done
mkdir -p "$base.mnt"
truncate -s 64M "$base.img" && mkfs.vfat -F 32 "$base.img" >/dev/null ||
  no_drive "mkfs.vfat failed"
# Its streams away: the daemon outlives this script and would hold ctest's.
fusefat -s -o rw+ "$base.img" "$base.mnt" </dev/null >/dev/null 2>&1
mountpoint -q "$base.mnt" || no_drive "fusefat could not mount $base.img"
ln -s "$base.mnt" "$prefix/dosdevices/f:"
echo "FAT32 drive F: is $base.img at $base.mnt"

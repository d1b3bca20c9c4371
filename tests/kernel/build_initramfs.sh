#!/usr/bin/env bash
# Builds the real-kernel test's initramfs: busybox, the SCSI modules of the installed kernel with the
# modules they need (from its modules.dep, in loading order), the statically linked programs given,
# the files of IMAGES (the firmware images) in /work, and tests/kernel/guest_init.sh as /init. With
# INITRAMFS_EXTRA set, that folder's contents are copied into the root as well (the open-iscsi tools).
#
#   build_initramfs.sh KERNEL_VERSION OUTPUT IMAGES PROGRAM...
set -euo pipefail
version=$1 output=$2 images=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
modules=/lib/modules/$version
# The SCSI stack and QEMU's adapter; the network card and the kernel's own iSCSI initiator (which
# asks the crypto layer for crc32c, for digests it may negotiate).
wanted=(scsi_mod sd_mod sg virtio_pci virtio_scsi virtio_net iscsi_tcp crc32c_generic)

root=$(mktemp -d "${TMPDIR:-/tmp}/initramfs.XXXXXX")
trap 'rm -rf "$root"' EXIT
mkdir -p "$root"/{bin,sbin,proc,sys,dev,run,tmp,work,modules}

cp /bin/busybox "$root/bin/busybox"
for applet in $("$root/bin/busybox" --list); do
  [ "$applet" = busybox ] || ln -s busybox "$root/bin/$applet"
done

# Depth first through modules.dep: every module after the modules it needs, each once.
declare -A needs placed
while IFS=: read -r path deps; do
  needs[$path]=$deps
done <"$modules/modules.dep"
order=()
place() {
  local path=$1 dep
  [ -n "${placed[$path]:-}" ] && return
  placed[$path]=1
  for dep in ${needs[$path]}; do place "$dep"; done
  order+=("$path")
}
for name in "${wanted[@]}"; do
  path=$(grep -E "/$name\.ko(\.xz|\.zst)?:" "$modules/modules.dep" | cut -d: -f1 || true)
  [ -n "$path" ] || { echo "build_initramfs: module $name not in $modules/modules.dep" >&2; exit 1; }
  place "$path"
done
for path in "${order[@]}"; do
  file=$(basename "$path")
  case "$file" in
    *.xz) xz -dc "$modules/$path" >"$root/modules/${file%.xz}"; file=${file%.xz} ;;
    *.zst) zstd -qdc "$modules/$path" >"$root/modules/${file%.zst}"; file=${file%.zst} ;;
    *) cp "$modules/$path" "$root/modules/$file" ;;
  esac
  echo "$file" >>"$root/modules/order"
done

for program in "$@"; do
  strip -o "$root/bin/$(basename "$program")" "$program"
done
cp "$images"/* "$root/work/"
if [ -n "${INITRAMFS_EXTRA:-}" ]; then cp -a "$INITRAMFS_EXTRA"/. "$root/"; fi
install -m 755 "$here/guest_init.sh" "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet) >"$output"

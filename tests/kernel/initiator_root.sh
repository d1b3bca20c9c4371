#!/usr/bin/env bash
# Puts the open-iscsi tools (iscsid, iscsiadm) with the shared libraries they load, and their
# configuration, in a folder laid out as the guest's root, for the checks with the guest kernel's own
# iSCSI initiator. The tools come from Debian's packages, fetched with apt-get download and unpacked
# here, not installed on this machine (installing would start an iSCSI daemon on it).
#
#   initiator_root.sh OUTPUT INITIATOR_NAME
set -euo pipefail
output=$1 name=$2
debs=$(mktemp -d "${TMPDIR:-/tmp}/open-iscsi.XXXXXX")
trap 'rm -rf "$debs"' EXIT

(cd "$debs" && apt-get download open-iscsi libisns0 libopeniscsiusr >/dev/null 2>&1) ||
  { echo "initiator_root: apt-get download open-iscsi failed" >&2; exit 1; }
for package in "$debs"/*.deb; do dpkg-deb -x "$package" "$debs/root"; done
export LD_LIBRARY_PATH=$debs/root/usr/lib/x86_64-linux-gnu

mkdir -p "$output/sbin" "$output/etc/iscsi" "$output/var/lib/iscsi" "$output/lib64"
for tool in iscsid iscsiadm; do
  cp "$debs/root/sbin/$tool" "$output/sbin/$tool"
  # Every library the tool loads, under the name it asks for, where the guest's loader looks.
  while read -r soname path; do
    [ -r "$path" ] || { echo "initiator_root: $tool needs $soname, which is missing" >&2; exit 1; }
    mkdir -p "$output/lib/x86_64-linux-gnu"
    cp -L "$path" "$output/lib/x86_64-linux-gnu/$soname"
  done < <(ldd "$debs/root/sbin/$tool" | awk '$2 == "=>" && $3 ~ /^\// { print $1, $3 }')
done
cp -L /lib64/ld-linux-x86-64.so.2 "$output/lib64/"
cp "$debs/root/etc/iscsi/iscsid.conf" "$output/etc/iscsi/"
echo "InitiatorName=$name" >"$output/etc/iscsi/initiatorname.iscsi"
# iscsid answers only a peer whose user it can name.
echo "root:x:0:0:root:/:/bin/sh" >"$output/etc/passwd"

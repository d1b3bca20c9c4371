#!/bin/sh
# /init of the real-kernel test's guest: mounts the kernel's file systems, loads the SCSI modules and
# then runs the commands the host sends on the second serial port, one line each:
#     <id> <shell command>
# answered on the same port by
#     @@begin <id>
#     <standard output and error of the command>
#     (an empty line)
#     @@end <id> <exit status>
# Commands run as root with /work as their folder and no input; the host bounds each one in time.
export PATH=/bin:/sbin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /run/lock /tmp
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /run
mkdir -p /run/lock
for module in $(cat /modules/order); do
  insmod "/modules/$module" || echo "guest: insmod $module failed"
done

# The network card reaches the host as 10.0.2.2 (QEMU's user network), for the kernel's own initiator.
if [ -e /sys/class/net/eth0 ]; then
  ip link set lo up
  ip link set eth0 up
  ip addr add 10.0.2.15/24 dev eth0
fi

# The port stays open from here on: opening it again would clear what the host sent meanwhile.
exec 3<>/dev/ttyS1
stty raw -echo -onlcr <&3
cd /work
echo "@@ready $(uname -r)" >&3
while IFS= read -r line <&3; do
  id=${line%% *}
  command=${line#* }
  echo "@@begin $id" >&3
  sh -c "$command" </dev/null >&3 2>&1 3>&-
  printf '\n@@end %s %s\n' "$id" "$?" >&3
done
poweroff -f

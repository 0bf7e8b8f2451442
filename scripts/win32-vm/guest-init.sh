#!/bin/sh
# The guest's init (installed as /sbin/qv-init by build-image.sh): mounts the kernel's file systems and the folder
# that run.sh shares, runs the job there as root, leaves its exit status beside it and powers off.
# The initramfs hands over /proc, /sys and /dev already mounted.
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
chmod 1777 /tmp /dev/shm
hostname qv-win32
ip link set lo up 2>/dev/null || ifconfig lo up 2>/dev/null
mkdir -p /mnt/share
if mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 share /mnt/share; then
    echo "qv-init: running the job"
    HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        /bin/bash /mnt/share/job.sh >/mnt/share/job.log 2>&1 </dev/null
    echo $? >/mnt/share/job.status
    echo "qv-init: the job ended with status $(cat /mnt/share/job.status)"
    sync
    umount /mnt/share
else
    echo "qv-init: could not mount the shared folder"
fi
sync
echo o >/proc/sysrq-trigger
sleep 30

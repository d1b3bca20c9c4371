// The device calls of the SCSI generic transport on a running Linux system, and the table in force.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/sg/sg_device_calls.h"
#include "host/sg/sg_device_names.h"

namespace {

const char SCSI_GENERIC_CLASS[] = "/sys/class/scsi_generic";

// The names of a folder's entries; 0 or -errno.
int FolderEntries(const char* path, std::vector<std::string>* names)
{
    names->clear();
    DIR* folder = opendir(path);
    if (folder == nullptr)
        return -errno;
    errno = 0;
    while (struct dirent* entry = readdir(folder))
        names->push_back(entry->d_name);
    int failure = errno;
    closedir(folder);
    return -failure;
}

int LinuxListDevices(std::vector<unsigned>* numbers)
{
    numbers->clear();
    std::vector<std::string> names;
    int listed = FolderEntries(SCSI_GENERIC_CLASS, &names);
    if (listed == -ENOENT)
        return 0;  // no sg driver loaded: no devices
    if (listed < 0)
        return listed;
    *numbers = SgDeviceNumbersFromNames(names);
    return 0;
}

int LinuxOpen(unsigned number)
{
    char path[32];
    std::snprintf(path, sizeof path, "/dev/sg%u", number);
    int fd = open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return -errno;
    // Only the sg driver answers this: a stray node of that name is not sent SCSI commands.
    int version = 0;
    if (ioctl(fd, SG_GET_VERSION_NUM, &version) != 0) {
        close(fd);
        return -ENODEV;
    }
    return fd;
}

int LinuxExecute(int fd, SgRequest* request)
{
    sg_io_hdr_t header;
    std::memset(&header, 0, sizeof header);
    header.interface_id = 'S';
    switch (request->transfer) {
    case SgTransferIn: header.dxfer_direction = SG_DXFER_FROM_DEV; break;
    case SgTransferOut: header.dxfer_direction = SG_DXFER_TO_DEV; break;
    default: header.dxfer_direction = SG_DXFER_NONE; break;
    }
    header.cmd_len = request->cdbLength;
    header.cmdp = const_cast<unsigned char*>(request->cdb);
    header.mx_sb_len = request->senseCapacity;
    header.sbp = request->sense;
    if (request->transfer != SgTransferNone) {
        header.dxfer_len = request->length;
        header.dxferp = request->data;
    }
    header.timeout = request->timeoutMs;
    if (ioctl(fd, SG_IO, &header) != 0)
        return -errno;
    request->scsiStatus = header.status;
    request->hostStatus = header.host_status;
    request->driverStatus = header.driver_status;
    request->senseLength = std::min(header.sb_len_wr, request->senseCapacity);
    return 0;
}

int LinuxGetScsiAddress(int fd, SgScsiAddress* address)
{
    sg_scsi_id id;
    std::memset(&id, 0, sizeof id);
    if (ioctl(fd, SG_GET_SCSI_ID, &id) != 0)
        return -errno;
    address->host = id.host_no;
    address->channel = id.channel;
    address->id = id.scsi_id;
    address->lun = id.lun;
    return 0;
}

int LinuxOpenBlockExclusive(unsigned number, int* fd)
{
    *fd = -1;
    // The disk that the same SCSI device gives, if any, is listed under its device folder.
    std::string blockFolder = std::string(SCSI_GENERIC_CLASS) + "/sg" + std::to_string(number) + "/device/block";
    std::vector<std::string> names;
    int listed = FolderEntries(blockFolder.c_str(), &names);
    if (listed == -ENOENT || listed == -ENOTDIR)
        return 0;
    if (listed < 0)
        return listed;
    std::string name = SgBlockDeviceFromNames(names);
    if (name.empty())
        return 0;
    int opened = open(("/dev/" + name).c_str(), O_RDONLY | O_EXCL | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (opened < 0)
        return -errno;
    *fd = opened;
    return 0;
}

void LinuxClose(int fd)
{
    close(fd);
}

}  // namespace

const SgDeviceCalls& SgLinuxDeviceCalls(void)
{
    static const SgDeviceCalls calls = {
        LinuxListDevices, LinuxOpen, LinuxExecute, LinuxGetScsiAddress, LinuxOpenBlockExclusive, LinuxClose,
    };
    return calls;
}

SgDeviceCalls g_sgDevices = SgLinuxDeviceCalls();

void SgDeviceCallsInstall(const SgDeviceCalls& calls)
{
    g_sgDevices = calls;
}

void SgDeviceCallsReset(void)
{
    g_sgDevices = SgLinuxDeviceCalls();
}

// The device calls of the SCSI generic transport on a running Linux system, and the table in force.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/sg/sg_device_calls.h"

namespace {

const char SCSI_GENERIC_CLASS[] = "/sys/class/scsi_generic";

// "sg" followed by decimal digits only.
bool ParseDeviceName(const char* name, unsigned* number)
{
    if (std::strncmp(name, "sg", 2) != 0 || name[2] < '0' || name[2] > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    unsigned long value = std::strtoul(name + 2, &end, 10);
    if (*end != '\0' || errno != 0 || value > 0xFFFFFFFFul)
        return false;
    *number = static_cast<unsigned>(value);
    return true;
}

int LinuxListDevices(std::vector<unsigned>* numbers)
{
    numbers->clear();
    DIR* folder = opendir(SCSI_GENERIC_CLASS);
    if (folder == nullptr)
        return errno == ENOENT ? 0 : -errno;  // no sg driver loaded: no devices
    errno = 0;
    while (struct dirent* entry = readdir(folder)) {
        unsigned number;
        if (ParseDeviceName(entry->d_name, &number))
            numbers->push_back(number);
    }
    int failure = errno;
    closedir(folder);
    if (failure != 0)
        return -failure;
    std::sort(numbers->begin(), numbers->end());
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
    DIR* folder = opendir(blockFolder.c_str());
    if (folder == nullptr)
        return errno == ENOENT || errno == ENOTDIR ? 0 : -errno;
    std::string name;
    while (struct dirent* entry = readdir(folder)) {
        if (entry->d_name[0] != '.') {
            name = entry->d_name;
            break;
        }
    }
    closedir(folder);
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

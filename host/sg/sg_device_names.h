// The names the SCSI generic transport reads from /sys: the entries of /sys/class/scsi_generic
// ("sg" and a decimal number each) and of a device's block folder (the disk it gives, if any).
#pragma once

#include <string>
#include <vector>

// The numbers N of the entries named "sgN" (N decimal, at most 32 bits, nothing after it), ascending
// and each once (the kernel writes N without leading zeros, so "sg07" would name sg7 again); other
// entries are skipped.
std::vector<unsigned> SgDeviceNumbersFromNames(const std::vector<std::string>& names);

// The disk named in a device's block folder: its first entry that does not start with a dot, or empty.
std::string SgBlockDeviceFromNames(const std::vector<std::string>& names);

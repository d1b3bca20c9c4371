// qzvsim: simulated QZV-57 units served as iSCSI targets, so that real initiators (open-iscsi, the
// Windows iSCSI Initiator, QEMU, libiscsi's tools) and the kernels behind them reach them as SCSI
// devices. Returns the exit status: 0 after a stop signal, 1 when it cannot listen or write a
// transcript, 2 for a bad command line.
#pragma once

#include <ostream>
#include <string>
#include <vector>

int QzvsimMain(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& error);

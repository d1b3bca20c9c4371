// The socket loop: accepts connections up to the portal's limit, carries bytes between the sockets
// and the portal's connections, keeps the portal's clock, and reports the events, until a stop
// signal arrives.
#pragma once

#include "platform/tcp_server.h"
#include "sim/iscsi/iscsi_portal.h"
#include "tools/qzvsim/qzvsim_report.h"

void QzvsimServe(IscsiPortal& portal, TcpSocket listener, QzvsimReport& report);

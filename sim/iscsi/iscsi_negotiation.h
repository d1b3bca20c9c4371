// The session's parameters and the answer to each key an initiator offers, by the rule of its key:
// lists take the first value the target supports, numbers the smaller (or larger) of both sides'
// values, booleans the AND (or OR) of both, declarations are taken without an answer, unknown keys
// are "NotUnderstood", and values outside their range are answered "Reject".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/iscsi/iscsi_text.h"

// Login status (class << 8 | detail).
enum IscsiLoginStatus : uint16_t {
    ISCSI_LOGIN_SUCCESS = 0x0000,
    ISCSI_LOGIN_INITIATOR_ERROR = 0x0200,
    ISCSI_LOGIN_AUTHENTICATION_FAILED = 0x0201,
    ISCSI_LOGIN_TARGET_NOT_FOUND = 0x0203,
    ISCSI_LOGIN_TARGET_REMOVED = 0x0204,
    ISCSI_LOGIN_UNSUPPORTED_VERSION = 0x0205,
    ISCSI_LOGIN_TOO_MANY_CONNECTIONS = 0x0206,
    ISCSI_LOGIN_MISSING_PARAMETER = 0x0207,
    ISCSI_LOGIN_SESSION_TYPE_UNSUPPORTED = 0x0209,
    ISCSI_LOGIN_NO_SESSION = 0x020A,
    ISCSI_LOGIN_SERVICE_UNAVAILABLE = 0x0301,
};

// What the target asks for; the result of each key also depends on the initiator's offer.
struct IscsiTargetValues {
    uint32_t maxRecvDataSegment = 65536;
    uint32_t maxBurst = 262144;
    uint32_t firstBurst = 65536;
    bool initialR2T = false;  // unsolicited data is welcome
    bool immediateData = true;
    uint32_t time2Wait = 2;
    uint32_t time2Retain = 0;
};

// The values in force for a session: the defaults until negotiated.
struct IscsiSessionParameters {
    uint32_t initiatorMaxRecvDataSegment = 8192;  // what the initiator takes per PDU
    uint32_t maxBurst = 262144;
    uint32_t firstBurst = 65536;
    bool initialR2T = true;
    bool immediateData = true;
    std::string initiatorName;
    std::string initiatorAlias;
    std::string targetName;
    std::string sessionType = "Normal";
    bool discovery = false;
};

enum class IscsiKeyStage { SECURITY, OPERATIONAL, FULL_FEATURE };

// Answers `pairs` offered in `stage`, appending the answers to *response and updating *session.
// Returns the login status that ends the login (ISCSI_LOGIN_SUCCESS when none does). In the full
// feature phase only the keys allowed there are taken; SendTargets is the caller's.
uint16_t IscsiNegotiate(const std::vector<IscsiTextPair>& pairs, IscsiKeyStage stage, const IscsiTargetValues& ours,
                        IscsiSessionParameters* session, std::string* response);

// The first burst never exceeds the burst, whatever both sides said.
uint32_t IscsiEffectiveFirstBurst(const IscsiSessionParameters& session);

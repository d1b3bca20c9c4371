#include "sim/iscsi/iscsi_negotiation.h"

#include <algorithm>
#include <cstring>

namespace {

enum class Kind {
    IDENTITY,          // declared by the initiator at login: taken, not answered
    TARGET_DECLARED,   // only a target declares these
    AUTH_METHOD,       // security stage
    DIGEST,            // list; only None is offered
    NUMBER_MIN,        // the smaller of both values
    NUMBER_MAX,        // the larger of both values
    RECEIVE_LENGTH,    // MaxRecvDataSegmentLength: each side declares its own
    BOOL_AND,
    BOOL_OR,
    MARKER_INTERVAL,   // irrelevant while markers are off
    TASK_REPORTING,    // list; only the original behaviour is offered
    FULL_FEATURE_ONLY,
};

struct Rule {
    const char* key;
    Kind kind;
    uint32_t low;
    uint32_t high;
};

const Rule RULES[] = {
    {"InitiatorName", Kind::IDENTITY, 0, 0},
    {"InitiatorAlias", Kind::IDENTITY, 0, 0},
    {"TargetName", Kind::IDENTITY, 0, 0},
    {"SessionType", Kind::IDENTITY, 0, 0},
    {"TargetAlias", Kind::TARGET_DECLARED, 0, 0},
    {"TargetAddress", Kind::TARGET_DECLARED, 0, 0},
    {"TargetPortalGroupTag", Kind::TARGET_DECLARED, 0, 0},
    {"AuthMethod", Kind::AUTH_METHOD, 0, 0},
    {"HeaderDigest", Kind::DIGEST, 0, 0},
    {"DataDigest", Kind::DIGEST, 0, 0},
    {"MaxConnections", Kind::NUMBER_MIN, 1, 65535},
    {"MaxOutstandingR2T", Kind::NUMBER_MIN, 1, 65535},
    {"ErrorRecoveryLevel", Kind::NUMBER_MIN, 0, 2},
    {"DefaultTime2Retain", Kind::NUMBER_MIN, 0, 3600},
    {"MaxBurstLength", Kind::NUMBER_MIN, 512, 16777215},
    {"FirstBurstLength", Kind::NUMBER_MIN, 512, 16777215},
    {"iSCSIProtocolLevel", Kind::NUMBER_MIN, 0, 31},
    {"DefaultTime2Wait", Kind::NUMBER_MAX, 0, 3600},
    {"MaxRecvDataSegmentLength", Kind::RECEIVE_LENGTH, 512, 16777215},
    {"ImmediateData", Kind::BOOL_AND, 0, 0},
    {"IFMarker", Kind::BOOL_AND, 0, 0},
    {"OFMarker", Kind::BOOL_AND, 0, 0},
    {"InitialR2T", Kind::BOOL_OR, 0, 0},
    {"DataPDUInOrder", Kind::BOOL_OR, 0, 0},
    {"DataSequenceInOrder", Kind::BOOL_OR, 0, 0},
    {"IFMarkInt", Kind::MARKER_INTERVAL, 0, 0},
    {"OFMarkInt", Kind::MARKER_INTERVAL, 0, 0},
    {"TaskReporting", Kind::TASK_REPORTING, 0, 0},
    {"SendTargets", Kind::FULL_FEATURE_ONLY, 0, 0},
};

const Rule* FindRule(const std::string& key)
{
    for (const Rule& rule : RULES) {
        if (key == rule.key)
            return &rule;
    }
    return nullptr;
}

// Decimal or 0x-hexadecimal, as iSCSI writes numbers.
bool ParseNumber(const std::string& text, uint32_t* value)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const size_t start = hex ? 2 : 0;
    if (text.size() == start)
        return false;
    uint64_t result = 0;
    for (size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        result = result * (hex ? 16 : 10) + digit;
        if (result > 0xFFFFFFFFu)
            return false;
    }
    *value = static_cast<uint32_t>(result);
    return true;
}

bool ParseBool(const std::string& text, bool* value)
{
    if (text != "Yes" && text != "No")
        return false;
    *value = text == "Yes";
    return true;
}

bool ListHolds(const std::string& list, const char* wanted)
{
    size_t start = 0;
    for (;;) {
        const size_t comma = list.find(',', start);
        if (list.compare(start, comma == std::string::npos ? std::string::npos : comma - start, wanted) == 0)
            return true;
        if (comma == std::string::npos)
            return false;
        start = comma + 1;
    }
}

uint32_t OurNumber(const std::string& key, const IscsiTargetValues& ours)
{
    if (key == "MaxBurstLength")
        return ours.maxBurst;
    if (key == "FirstBurstLength")
        return ours.firstBurst;
    if (key == "DefaultTime2Retain")
        return ours.time2Retain;
    if (key == "DefaultTime2Wait")
        return ours.time2Wait;
    if (key == "iSCSIProtocolLevel")
        return 1;
    if (key == "ErrorRecoveryLevel")
        return 0;
    return 1;  // MaxConnections, MaxOutstandingR2T
}

bool OurBool(const std::string& key, const IscsiTargetValues& ours)
{
    if (key == "ImmediateData")
        return ours.immediateData;
    if (key == "InitialR2T")
        return ours.initialR2T;
    if (key == "IFMarker" || key == "OFMarker")
        return false;
    return true;  // DataPDUInOrder, DataSequenceInOrder
}

void TakeNumber(const std::string& key, uint32_t value, IscsiSessionParameters* session)
{
    if (key == "MaxBurstLength")
        session->maxBurst = value;
    else if (key == "FirstBurstLength")
        session->firstBurst = value;
}

void TakeBool(const std::string& key, bool value, IscsiSessionParameters* session)
{
    if (key == "ImmediateData")
        session->immediateData = value;
    else if (key == "InitialR2T")
        session->initialR2T = value;
}

// An identity declaration; returns the login status it ends the login with, if any.
uint16_t TakeIdentity(const IscsiTextPair& pair, IscsiSessionParameters* session)
{
    if (pair.key == "SessionType") {
        if (pair.value != "Normal" && pair.value != "Discovery")
            return ISCSI_LOGIN_SESSION_TYPE_UNSUPPORTED;
        session->sessionType = pair.value;
        session->discovery = pair.value == "Discovery";
    } else if (pair.key == "InitiatorName") {
        session->initiatorName = pair.value;
    } else if (pair.key == "InitiatorAlias") {
        session->initiatorAlias = pair.value;
    } else {
        session->targetName = pair.value;
    }
    return ISCSI_LOGIN_SUCCESS;
}

}  // namespace

uint16_t IscsiNegotiate(const std::vector<IscsiTextPair>& pairs, IscsiKeyStage stage, const IscsiTargetValues& ours,
                        IscsiSessionParameters* session, std::string* response)
{
    const bool login = stage != IscsiKeyStage::FULL_FEATURE;
    for (const IscsiTextPair& pair : pairs) {
        const Rule* rule = FindRule(pair.key);
        if (!rule) {
            IscsiAppendPair(response, pair.key, "NotUnderstood");
            continue;
        }
        const Kind kind = rule->kind;
        // Keys that are neither declarations nor security keys belong to the operational stage.
        const bool declaration = kind == Kind::IDENTITY || kind == Kind::TARGET_DECLARED || kind == Kind::RECEIVE_LENGTH;
        if (stage == IscsiKeyStage::SECURITY && !declaration && kind != Kind::AUTH_METHOD)
            return ISCSI_LOGIN_INITIATOR_ERROR;
        if (stage == IscsiKeyStage::OPERATIONAL && kind == Kind::AUTH_METHOD)
            return ISCSI_LOGIN_INITIATOR_ERROR;
        if (!login && kind != Kind::RECEIVE_LENGTH) {
            // Only MaxRecvDataSegmentLength may change in the full feature phase.
            IscsiAppendPair(response, pair.key, "Reject");
            continue;
        }

        uint32_t number = 0;
        bool flag = false;
        switch (kind) {
        case Kind::IDENTITY: {
            const uint16_t status = TakeIdentity(pair, session);
            if (status != ISCSI_LOGIN_SUCCESS)
                return status;
            break;
        }
        case Kind::TARGET_DECLARED:
        case Kind::FULL_FEATURE_ONLY:
            IscsiAppendPair(response, pair.key, "Reject");
            break;
        case Kind::AUTH_METHOD:
            // No authentication: an initiator that insists on one cannot log in.
            if (!ListHolds(pair.value, "None"))
                return ISCSI_LOGIN_AUTHENTICATION_FAILED;
            IscsiAppendPair(response, pair.key, "None");
            break;
        case Kind::DIGEST:
            IscsiAppendPair(response, pair.key, ListHolds(pair.value, "None") ? "None" : "Reject");
            break;
        case Kind::TASK_REPORTING:
            IscsiAppendPair(response, pair.key, ListHolds(pair.value, "RFC3720") ? "RFC3720" : "Reject");
            break;
        case Kind::NUMBER_MIN:
        case Kind::NUMBER_MAX:
            if (!ParseNumber(pair.value, &number) || number < rule->low || number > rule->high) {
                IscsiAppendPair(response, pair.key, "Reject");
                break;
            }
            number = kind == Kind::NUMBER_MIN ? std::min(number, OurNumber(pair.key, ours))
                                              : std::max(number, OurNumber(pair.key, ours));
            TakeNumber(pair.key, number, session);
            IscsiAppendPair(response, pair.key, std::to_string(number));
            break;
        case Kind::RECEIVE_LENGTH:
            if (!ParseNumber(pair.value, &number) || number < rule->low || number > rule->high)
                IscsiAppendPair(response, pair.key, "Reject");
            else
                session->initiatorMaxRecvDataSegment = number;
            break;
        case Kind::BOOL_AND:
        case Kind::BOOL_OR:
            if (!ParseBool(pair.value, &flag)) {
                IscsiAppendPair(response, pair.key, "Reject");
                break;
            }
            flag = kind == Kind::BOOL_AND ? (flag && OurBool(pair.key, ours)) : (flag || OurBool(pair.key, ours));
            TakeBool(pair.key, flag, session);
            IscsiAppendPair(response, pair.key, flag ? "Yes" : "No");
            break;
        case Kind::MARKER_INTERVAL:
            IscsiAppendPair(response, pair.key, "Irrelevant");
            break;
        }
    }
    return ISCSI_LOGIN_SUCCESS;
}

uint32_t IscsiEffectiveFirstBurst(const IscsiSessionParameters& session)
{
    return std::min(session.firstBurst, session.maxBurst);
}

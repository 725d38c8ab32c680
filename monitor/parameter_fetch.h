// One GET of a run of catalog rows, decoded into the readings: the step the
// poll cycle, Start and Get repeat for each run they read. Also the checks
// that tell an answer to a request from a datagram that merely decodes.
#pragma once

#include <string>

#include "device/device_readings.h"
#include "snmp/agent_link.h"
#include "snmp/message.h"

// What is wrong with `answer` as the answer to `request`: empty when it is a
// GetResponse whose bindings name the request's objects, in order, and no
// others (its error status is not looked at). Otherwise a short text that
// names what came back, such as "a SetRequest came back instead of a
// GetResponse"; an echo of the request is no answer.
std::string answer_mismatch(const SnmpMessage& request, const SnmpMessage& answer);

// The same for an answer to a GET of catalog rows, and also each value must
// have a type its row is read from: an OCTET STRING for the identification
// rows; INTEGER, Counter32, Gauge32, TimeTicks or UInteger32 within its
// reader's limits for the numeric rows (the readings take these octets
// whatever the tag, so a NULL or a text would otherwise read as a number),
// and not an unsigned type above 2147483647 for a `signed_measurement_row`.
std::string reading_answer_fault(const SnmpMessage& request, const SnmpMessage& answer);

// Why a fetch gave no readings.
enum class FetchFailure {
    kNone,
    kNoAnswer,        // nothing usable came within the link's wait, or nothing was sent
    kDeviceError,     // the device answered with an error status
    kUnusableAnswer,  // an answer that `reading_answer_fault` refuses
};
struct FetchFault {
    FetchFailure kind = FetchFailure::kNone;
    // kDeviceError: the error's name ("genErr"); kUnusableAnswer: what is
    // wrong with the answer; kNoAnswer: why none came, as
    // `exchange_fault_text` says it, empty for plain silence.
    std::string text;
};

// Requests catalog rows `first_index` to `first_index + count - 1` in one
// GetRequest over `link` and decodes the answer with `apply_answer`. Returns
// false, with nothing changed, when the rows lie outside the catalog, the
// request cannot be built (nothing is then sent), no answer comes within
// the link's wait, the answer carries an error status, or
// `reading_answer_fault` refuses it. `fault`, when given, says which.
// `answer`, when given, receives the answer that was decoded (emptied
// otherwise), for a caller that also wants the values as the device sent
// them.
bool fetch_parameters(AgentLink& link, DeviceReadings& readings, int first_index, int count,
                      FetchFault* fault = nullptr, MessagePtr* answer = nullptr);

// The two halves of `fetch_parameters`, for an owner that sends and waits
// itself (without blocking): the GetRequest of the rows (null when they lie
// outside the catalog or memory runs out), and the judgement of what came
// back for it, `answer` null when none did (`link.fault` then says why).
MessagePtr fetch_request(int first_index, int count);
bool take_fetch_answer(const AgentLink& link, const SnmpMessage& request, MessagePtr answer,
                       DeviceReadings& readings, FetchFault* fault = nullptr,
                       MessagePtr* answer_out = nullptr);

// One GET of a run of catalog rows, decoded into the readings: the step the
// poll cycle, Start and Get repeat for each run they read.
#pragma once

#include "monitor/device_readings.h"
#include "snmp/agent_link.h"
#include "snmp/message.h"

// True when the answer has a binding for each of catalog rows `first_index`
// to `first_index + count - 1`.
bool answer_carries_rows(const SnmpMessage* answer, int first_index, int count);

// Requests catalog rows `first_index` to `first_index + count - 1` in one
// GetRequest over `link` and decodes the answer with `apply_answer`. Returns
// false, with nothing changed, when the rows lie outside the catalog, the
// request cannot be built (nothing is then sent), no answer comes within
// the link's wait, the answer carries an error status, or it lacks any of
// the rows asked for (an empty answer would otherwise pass for readings of
// zero).
bool fetch_parameters(AgentLink& link, DeviceReadings& readings, int first_index, int count);

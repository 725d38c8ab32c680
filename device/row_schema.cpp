// Reading and writing the readings through the row schema.
#include "device/row_schema.h"

#include <cmath>

namespace {

// The field's value; the accessors take a writable record, and reading
// through one changes nothing.
double raw_value(const ReadingField& field, const DeviceReadings& r) {
    DeviceReadings& record = const_cast<DeviceReadings&>(r);
    switch (field.kind) {
        case ValueKind::kInt32:
            return field.int32(record);
        case ValueKind::kUint32:
            return field.uint32(record);
        case ValueKind::kDouble:
            break;
    }
    return field.real(record);
}

}  // namespace

double device_value(const ColumnSpec& column, const DeviceReadings& r) {
    return raw_value(column.field, r);
}

double logged_value(const ColumnSpec& column, const DeviceReadings& r) {
    return raw_value(column.field, r) / column.scale;
}

double signed_value(const ColumnSpec& column, const DeviceReadings& r) {
    const RailSpec* rail = supply_rail_of(column.row);
    const double value = logged_value(column, r);
    // + 0.0 keeps a zero from turning into "-0".
    return (rail != nullptr && rail->shown_negative ? -value : value) + 0.0;
}

bool store_logged_value(const ColumnSpec& column, DeviceReadings& r, double value) {
    const ReadingField& field = column.field;
    if (field.kind == ValueKind::kDouble) {
        field.real(r) = value * column.scale;
        return true;
    }
    // The log keeps fewer digits than the device sends: scaled values come
    // back rounded to the device's unit.
    const double x = std::round(value * column.scale);
    if (field.kind == ValueKind::kInt32) {
        if (!(x >= -2147483648.0 && x <= 2147483647.0)) {
            return false;
        }
        field.int32(r) = static_cast<int32_t>(x);
        return true;
    }
    if (!(x >= 0 && x <= 4294967295.0)) {
        return false;
    }
    field.uint32(r) = static_cast<uint32_t>(x);
    return true;
}

std::string export_heading(const ColumnSpec& column) {
    std::string heading = column.name;
    if (column.unit[0] != '\0') {
        heading += '_';
        heading += column.unit;
    }
    return heading;
}

// BER element codec: reads and writes single X.690 elements (tag octet,
// length octets, content) of the few types that SNMP messages carry.
//
// Contracts shared by every function below:
// - The position points at the element's tag octet on entry (the first
//   length octet for the two length functions). On success the result is
//   the position just past what was consumed or produced; on failure it is
//   null.
// - The space counter belongs to the caller. For writers it is the number of
//   octets still free in the output; a writer tests that its output fits
//   before it writes and subtracts exactly what it wrote. For readers it is
//   the number of octets left in the enclosing element; a reader tests that
//   its whole element (header plus content) lies within it and subtracts the
//   element's full size. `tlv_read_header` instead sets it to the content
//   length, so the members of a constructed element are read with the same
//   counter. After a failure the counter is of no further use.
// - Readers store the tag they find before they read the length, so the
//   caller sees it even when a later test fails. Readers copy nothing into
//   their destination when they fail. Only `tlv_read_header` tests the tag.
// - Readers never touch an octet outside the counter: a counter that ends
//   inside the tag or length octets fails.
// - Writers refuse lengths above 65535 (the longest length form they write
//   carries 16 bits) and negative lengths.
// - Nothing allocates; the only scratch storage is the 128-octet area of
//   `tlv_write_oid`, on the stack.
#pragma once

#include <cstdint>

// Reads the length octets at `pos` into `*length`. Short form, or 0x81..0x84
// followed by 1 to 4 big-endian octets (non-minimal forms accepted). Fails on
// 0x80 (indefinite form) and on more than four length octets. Does not look
// at any space counter: callers must know that the octets exist.
const uint8_t* tlv_read_length(const uint8_t* pos, uint32_t* length);

// Reads a tag and length. On success `*space` becomes the content length and
// the result points at the first content octet. Fails when `*space` <= 0, on
// a high-tag-number tag (low five bits all ones), on a malformed length and
// when header plus content exceed `*space`.
const uint8_t* tlv_read_header(const uint8_t* pos, int32_t* space, uint8_t* tag);

// Integer readers. `size` must be 4 (8 for the 64-bit counter), else null
// before anything is read. Content limits: INTEGER 4 octets; unsigned 5
// octets whose first is 00 when there are 5; Counter64 9 octets whose first
// is 00 when there are 9. The value is sign-extended from the first content
// octet in all three, then each octet shifted in; empty content gives 0.
const uint8_t* tlv_read_int32(const uint8_t* pos, int32_t* space, uint8_t* tag, int32_t* value,
                              int32_t size);
const uint8_t* tlv_read_uint32(const uint8_t* pos, int32_t* space, uint8_t* tag, uint32_t* value,
                               int32_t size);
// `words` receives the high word, then the low word.
const uint8_t* tlv_read_counter64(const uint8_t* pos, int32_t* space, uint8_t* tag,
                                  uint32_t words[2], int32_t size);

// Copies the content (no terminator) into `dest`. `*length` is the capacity
// of `dest` on entry and the number of octets copied on success; content
// longer than the capacity fails.
const uint8_t* tlv_read_octets(const uint8_t* pos, int32_t* space, uint8_t* tag, uint8_t* dest,
                               int32_t* length);

// Decodes an OBJECT IDENTIFIER into `ids`. `*count` is the capacity on entry
// and the number of sub-identifiers stored on return. Empty content gives the
// single sub-identifier 0. The first encoded value v becomes (v / 40) % 256
// and v % 40. Decoding stops when the capacity is full; the result is then
// the position after the last decoded octet, short of the content's end, so a
// caller that needs the whole identifier compares it with the content's end.
const uint8_t* tlv_read_oid(const uint8_t* pos, int32_t* space, uint8_t* tag, uint32_t* ids,
                            int32_t* count);

// Writes a length in the minimal definite form: 1, 2 (0x81) or 3 (0x82)
// octets.
uint8_t* tlv_write_length(uint8_t* pos, int32_t* space, int32_t length);

// Writes a tag and a minimal length; the result is the first content octet.
uint8_t* tlv_write_header(uint8_t* pos, int32_t* space, uint8_t tag, int32_t length);

// Writes tag, 0x82, and the 16-bit length: always four octets, whatever the
// length. On failure the counter is left unchanged.
uint8_t* tlv_write_fixed_header(uint8_t* pos, int32_t* space, uint8_t tag, int32_t length);

// Minimal two's complement INTEGER; `size` must be 4.
uint8_t* tlv_write_int32(uint8_t* pos, int32_t* space, uint8_t tag, const int32_t* value,
                         int32_t size);
// Unsigned 32-bit: a leading 00 when the top bit is set; `size` must be 4.
uint8_t* tlv_write_uint32(uint8_t* pos, int32_t* space, uint8_t tag, const uint32_t* value,
                          int32_t size);
// Counter64 from high and low word; `size` must be 8.
uint8_t* tlv_write_counter64(uint8_t* pos, int32_t* space, uint8_t tag, const uint32_t words[2],
                             int32_t size);

// Header plus `length` octets copied from `source` (may be null when length
// is 0).
uint8_t* tlv_write_octets(uint8_t* pos, int32_t* space, uint8_t tag, const uint8_t* source,
                          int32_t length);

// BIT STRING: `source` is the whole content, its first octet the number of
// unused trailing bits. Fails on an empty content or a first octet above 7.
uint8_t* tlv_write_bits(uint8_t* pos, int32_t* space, uint8_t tag, const uint8_t* source,
                        int32_t length);

// Tag then 00: NULL and the exception values.
uint8_t* tlv_write_null(uint8_t* pos, int32_t* space, uint8_t tag);

// OBJECT IDENTIFIER. A count below 2 gives the content 00. The first octet is
// (40 * ids[0] + ids[1]) % 256; further sub-identifiers are base-128. Content
// that would exceed the 128-octet scratch area fails.
uint8_t* tlv_write_oid(uint8_t* pos, int32_t* space, uint8_t tag, const uint32_t* ids,
                       int32_t count);

// How an entry's SHA1 value is kept: packed into 20 bytes, or as its text.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "image/format.h"

namespace tarvel {

// How an entry's SHA1 value is kept. A value of 40 hexadecimal digits in one case is kept as
// its 20 bytes; anything else as its text. Each text has exactly one form, so two values are
// equal exactly when their forms are.
enum class Sha1Form : std::uint8_t { none, lower_hex, upper_hex, text };

using PackedSha1 = std::array<std::uint8_t, 20>;

// The packed form of a stored value whose text is 40 hexadecimal digits in one case: the 41st
// unit is its NUL, and every unit before it is a digit; `packed` then holds its bytes. Anything
// else is Sha1Form::text. Digits alone count as lower case, so each text has exactly one form.
Sha1Form pack_sha1(const std::array<std::uint8_t, SHA1_VALUE_SIZE>& value, PackedSha1& packed);
// The same, a digit at a time: what pack_sha1 does where the processor has no vector unit it
// uses, and what tests hold its vector path to.
Sha1Form pack_sha1_scalar(const std::array<std::uint8_t, SHA1_VALUE_SIZE>& value,
                          PackedSha1& packed);

// The text of a value packed as lower_hex or upper_hex, written over `text`.
void unpack_sha1(Sha1Form form, const PackedSha1& packed, std::u16string& text);

}  // namespace tarvel

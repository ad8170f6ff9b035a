// Basic value types shared by every layer. Text is UTF-8 in std::string.
#pragma once
#include <cstdint>
#include <string>

using Integer = int32_t;
using Cardinal = uint32_t;
using Byte = uint8_t;
using Word = uint16_t;
using Int64 = int64_t;
// Days since 30 December 1899; the fraction is the time of day.
using TDateTime = double;

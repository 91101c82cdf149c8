// SHA-256 of a byte sequence, as lower-case hex.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

std::string Sha256Hex(const uint8_t* data, size_t size);

// Random bytes from the system's generator, for session ids and tags.
#pragma once

#include <cstddef>
#include <string>

// Hex text of `bytes` random bytes; throws std::runtime_error when the system has none to give.
std::string RandomHex(std::size_t bytes);

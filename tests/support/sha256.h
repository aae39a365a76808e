// SHA-256 of a byte string, as lowercase hexadecimal (the digest sha256sum prints), for the tests that
// pin whole outputs by their digests.
#pragma once

#include <string>

std::string sha256Hex(const std::string& bytes);

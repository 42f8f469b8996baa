#pragma once
#include <cstdint>

#include "package/PackageFormat.h"

// One row of the package table, as stored (names in upper case, zero-terminated).
struct PackageEntry {
    char section[package_format::kMaxNameBytes];
    char name[package_format::kMaxNameBytes];
    uint32_t size;
    uint32_t crc;
};

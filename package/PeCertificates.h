#pragma once
#include <cstdint>

#include "PackageFile.h"

// Where an Authenticode signature sits in a PE file: the security data directory holds the
// file offset and size of the certificate table, which signing tools append at the end.
struct CertificateTable {
    uint64_t offset = 0;
    uint64_t size = 0;
};

// Reads the security directory of the PE image in file (length bytes). True when the file is
// a PE image whose certificate table is non-empty and lies wholly inside the file; table then
// holds it, else table is left as it was. A file that is no PE image, or whose headers run past
// its end, has no table.
bool FindCertificateTable(PackageFile& file, uint64_t length, CertificateTable& table);

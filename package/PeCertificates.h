#pragma once
#include <cstdint>

#include "package/PackageFile.h"

// Where an Authenticode signature sits in a PE file: the security data directory holds the
// file offset and size of the certificate table, which signing tools append at the end.
struct CertificateTable {
    uint64_t offset = 0;
    uint64_t size = 0;
};

// What the security directory of a file says.
enum class CertificateState {
    // No PE image, no security directory, or an empty one: the file is not signed.
    kNone,
    // A non-empty table lying wholly inside the file behind the headers.
    kTable,
    // A directory that cannot describe a signature of this file: it points outside the file or
    // into the headers it was read from, or holds an offset without a size. The signature
    // covers every header byte but this directory and the checksum, so only a tampered file
    // gets here.
    kBad,
};

// Reads the security directory of the PE image in file (length bytes). table is set only for
// kTable.
CertificateState LocateCertificateTable(PackageFile& file, uint64_t length, CertificateTable& table);

// True, with table set, when LocateCertificateTable finds a table; else table is left as it was.
bool FindCertificateTable(PackageFile& file, uint64_t length, CertificateTable& table);

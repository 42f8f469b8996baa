#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "testkit/PackageFixture.h"

namespace testkit {

// A stand-in for a program file as far as the package reader and the packer look at it: an
// "MZ" header pointing at a PE32 header whose security directory is empty; size bytes in all,
// the rest a pattern.
Bytes MinimalPeImage(size_t size);

// What a signing tool does to image: pads it with zeros to a multiple of alignment, appends
// certificate (any bytes; a real table starts with its length) and points the security
// directory at it.
void AppendCertificateTable(Bytes& image, const Bytes& certificate, size_t alignment = 8);

// A version resource's "PackageForms" value naming forms (as the stub's build writes it, as
// UTF-16LE key and value): appended to a stand-in stub, the packer takes it for a stub that
// decodes those forms.
Bytes PackageFormsValue(const std::string& forms = "zlib lzma");

// Offset of the security directory entry (offset, size) in a MinimalPeImage.
constexpr size_t kMinimalPeSecurityEntry = 0x80 + 24 + 96 + 4 * 8;

}  // namespace testkit

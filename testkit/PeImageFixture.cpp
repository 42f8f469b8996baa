#include "testkit/PeImageFixture.h"

#include "package/LittleEndian.h"

namespace testkit {

namespace {
constexpr size_t kPeHeader = 0x80;
constexpr size_t kOptionalHeaderSize = 224;
}  // namespace

Bytes MinimalPeImage(size_t size) {
    Bytes image(size < 0x200 ? 0x200 : size);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<unsigned char>(i * 13 + 1);
    for (size_t i = 0; i < kPeHeader + 24 + kOptionalHeaderSize; ++i) image[i] = 0;
    image[0] = 'M';
    image[1] = 'Z';
    StoreU32(&image[0x3C], kPeHeader);
    image[kPeHeader] = 'P';
    image[kPeHeader + 1] = 'E';
    image[kPeHeader + 4] = 0x4C;  // i386
    image[kPeHeader + 5] = 0x01;
    image[kPeHeader + 20] = static_cast<unsigned char>(kOptionalHeaderSize);
    image[kPeHeader + 24] = 0x0B;  // PE32
    image[kPeHeader + 25] = 0x01;
    StoreU32(&image[kPeHeader + 24 + 92], 16);
    return image;
}

void AppendCertificateTable(Bytes& image, const Bytes& certificate, size_t alignment) {
    while (image.size() % alignment != 0) image.push_back(0);
    StoreU32(&image[kMinimalPeSecurityEntry], static_cast<uint32_t>(image.size()));
    StoreU32(&image[kMinimalPeSecurityEntry + 4], static_cast<uint32_t>(certificate.size()));
    image.insert(image.end(), certificate.begin(), certificate.end());
}

Bytes PackageFormsValue(const std::string& forms) {
    Bytes out;
    const auto wide = [&out](const std::string& text) {
        for (const char c : text) out.insert(out.end(), {static_cast<unsigned char>(c), 0});
        out.insert(out.end(), {0, 0});
    };
    wide("PackageForms");
    out.insert(out.end(), {0, 0});  // padding to 4 bytes
    wide(forms);
    return out;
}

}  // namespace testkit

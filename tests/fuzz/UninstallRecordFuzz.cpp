// Any byte string as "uninstall.nfo": the reader must never read out of bounds, and what it
// accepts must be exactly what the uninstaller may act on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "components/uninstaller/UninstallRecordReader.h"
#include "engine/ChunkSchema.h"
#include "testkit/RecordBytes.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uninstall::UninstallRecord record;
    if (uninstall::ParseUninstallRecord(data, size, record) != uninstall::RecordError::kNone) {
        Check(record.files.empty() && record.folders.empty() && record.skippedPaths.empty() &&
              record.projectName.empty());
        return 0;
    }
    Check(!record.projectName.empty() && record.projectName.size() <= kTextFieldSize);
    // A whole record of 267-byte path chunks cannot list more paths than it has room for.
    Check((record.files.size() + record.folders.size() + record.skippedPaths.size()) * 267 <= size);
    for (const auto* list : {&record.files, &record.folders}) {
        for (const std::string& path : *list) Check(uninstall::IsSafeAbsolutePath(path) && path.size() < 259);
    }
    // Written again by our writer, the accepted lists read back unchanged.
    const testkit::Bytes again =
        testkit::MakeUninstallRecord(record.files, record.folders, record.projectName, record.hasMarker);
    uninstall::UninstallRecord second;
    Check(uninstall::ParseUninstallRecord(again.data(), again.size(), second) == uninstall::RecordError::kNone);
    Check(second.files == record.files && second.folders == record.folders && second.skippedPaths.empty() &&
          second.projectName == record.projectName && second.hasMarker == record.hasMarker);
    return 0;
}

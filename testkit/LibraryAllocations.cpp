#include "testkit/LibraryAllocations.h"

#include <cstdint>

extern "C" {
void* __wrap_malloc(size_t size);
void* __wrap_calloc(size_t count, size_t size);
void __wrap_free(void* p);
}

namespace testkit {

namespace {

// The import address table entry through which module calls function of library, or null.
void** FindImportSlot(HMODULE module, const char* library, const char* function) {
    auto* base = reinterpret_cast<unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (module == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return nullptr;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name != 0; ++d) {
        if (::lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), library) != 0) continue;
        if (d->OriginalFirstThunk == 0) return nullptr;
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (::lstrcmpA(reinterpret_cast<const char*>(byName->Name), function) == 0) {
                return reinterpret_cast<void**>(&slots->u1.Function);
            }
        }
    }
    return nullptr;
}

bool Store(void** slot, void* value) {
    DWORD old = 0;
    if (!::VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &old)) return false;
    *slot = value;
    ::VirtualProtect(slot, sizeof(*slot), old, &old);
    return true;
}

}  // namespace

ImportPatch::ImportPatch(HMODULE module, const char* library, const char* function, void* replacement) {
    void** found = FindImportSlot(module, library, function);
    if (found == nullptr) return;
    void* was = *found;
    if (!Store(found, replacement)) return;
    slot = found;
    original = was;
}

ImportPatch::~ImportPatch() {
    if (slot != nullptr) Store(slot, original);
}

LibraryAllocations::LibraryAllocations(HMODULE module)
    : mallocPatch(module, "msvcrt.dll", "malloc", reinterpret_cast<void*>(&__wrap_malloc)),
      callocPatch(module, "msvcrt.dll", "calloc", reinterpret_cast<void*>(&__wrap_calloc)),
      freePatch(module, "msvcrt.dll", "free", reinterpret_cast<void*>(&__wrap_free)) {}

}  // namespace testkit

#include "testkit/DialogTemplate.h"

#include "win/Handle.h"

namespace testkit {

namespace {

// Bounds-checked little-endian cursor over a template; every read fails once past the end.
class TemplateReader {
public:
    TemplateReader(const void* data, size_t size) : bytes(static_cast<const unsigned char*>(data)), size(size) {}

    bool Word(uint16_t& value) {
        if (offset > size || size - offset < 2) return false;
        value = static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
        offset += 2;
        return true;
    }
    bool Short(int& value) {
        uint16_t raw = 0;
        if (!Word(raw)) return false;
        value = static_cast<int16_t>(raw);
        return true;
    }
    bool Dword(uint32_t& value) {
        uint16_t low = 0, high = 0;
        if (!Word(low) || !Word(high)) return false;
        value = static_cast<uint32_t>(low) | static_cast<uint32_t>(high) << 16;
        return true;
    }
    bool Byte(unsigned char& value) {
        if (offset >= size) return false;
        value = bytes[offset++];
        return true;
    }
    bool Skip(size_t count) {
        if (offset > size || size - offset < count) return false;
        offset += count;
        return true;
    }
    // Items start on 32-bit boundaries, counted from the template's start.
    bool AlignDword() { return Skip((4 - offset % 4) % 4); }

    // A zero-terminated UTF-16 string, in the ANSI code page.
    bool String(std::string& out) {
        std::wstring wide;
        for (;;) {
            uint16_t c = 0;
            if (!Word(c)) return false;
            if (c == 0) break;
            wide.push_back(static_cast<wchar_t>(c));
        }
        out.clear();
        if (wide.empty()) return true;
        const int length = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                                 nullptr, nullptr);
        out.resize(static_cast<size_t>(length));
        ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &out[0], length, nullptr,
                              nullptr);
        return true;
    }
    // A string or, after 0xFFFF, a 16-bit ordinal.
    bool StringOrOrdinal(std::string& out, bool& isOrdinal, uint16_t& ordinal) {
        uint16_t first = 0;
        isOrdinal = false;
        if (!Word(first)) return false;
        if (first == 0xFFFF) {
            isOrdinal = true;
            return Word(ordinal);
        }
        offset -= 2;
        return String(out);
    }

private:
    const unsigned char* bytes;
    size_t size;
    size_t offset = 0;
};

std::string ClassOrdinalName(uint16_t ordinal) {
    static const char* const kNames[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
    if (ordinal >= 0x80 && ordinal <= 0x85) return kNames[ordinal - 0x80];
    return "#" + std::to_string(ordinal);
}

bool ReadNameOrOrdinal(TemplateReader& in, std::string& out) {
    bool isOrdinal = false;
    uint16_t ordinal = 0;
    if (!in.StringOrOrdinal(out, isOrdinal, ordinal)) return false;
    if (isOrdinal) out = "#" + std::to_string(ordinal);
    return true;
}

bool ReadControl(TemplateReader& in, bool extended, DialogControlTemplate& control) {
    if (!in.AlignDword()) return false;
    uint32_t style = 0, exStyle = 0, helpId = 0;
    if (extended) {
        if (!in.Dword(helpId) || !in.Dword(exStyle) || !in.Dword(style)) return false;
    } else if (!in.Dword(style) || !in.Dword(exStyle)) {
        return false;
    }
    control.style = style;
    control.exStyle = exStyle;
    if (!in.Short(control.x) || !in.Short(control.y) || !in.Short(control.cx) || !in.Short(control.cy)) return false;
    if (extended) {
        uint32_t id = 0;
        if (!in.Dword(id)) return false;
        control.id = static_cast<int32_t>(id);
    } else {
        int id = 0;
        if (!in.Short(id)) return false;
        control.id = id;
    }
    bool isOrdinal = false;
    uint16_t ordinal = 0;
    if (!in.StringOrOrdinal(control.className, isOrdinal, ordinal)) return false;
    if (isOrdinal) control.className = ClassOrdinalName(ordinal);
    if (!ReadNameOrOrdinal(in, control.text)) return false;
    uint16_t extra = 0;
    return in.Word(extra) && in.Skip(extra);
}

}  // namespace

bool ParseDialogTemplate(const void* data, size_t size, DialogTemplate& out) {
    TemplateReader in(data, size);
    DialogTemplate result;
    uint16_t version = 0, signature = 0;
    if (!in.Word(version) || !in.Word(signature)) return false;
    uint32_t style = 0, exStyle = 0;
    result.extended = version == 1 && signature == 0xFFFF;
    if (result.extended) {
        uint32_t helpId = 0;
        if (!in.Dword(helpId) || !in.Dword(exStyle) || !in.Dword(style)) return false;
    } else {
        style = static_cast<uint32_t>(version) | static_cast<uint32_t>(signature) << 16;
        if (!in.Dword(exStyle)) return false;
    }
    result.style = style;
    result.exStyle = exStyle;
    uint16_t count = 0;
    if (!in.Word(count)) return false;
    if (!in.Short(result.x) || !in.Short(result.y) || !in.Short(result.cx) || !in.Short(result.cy)) return false;
    if (!ReadNameOrOrdinal(in, result.menu) || !ReadNameOrOrdinal(in, result.windowClass) ||
        !in.String(result.caption)) {
        return false;
    }
    if (style & (DS_SETFONT | DS_SHELLFONT)) {
        result.hasFont = true;
        uint16_t points = 0;
        if (!in.Word(points)) return false;
        result.pointSize = points;
        if (result.extended) {
            uint16_t weight = 0;
            unsigned char italic = 0, charset = 0;
            if (!in.Word(weight) || !in.Byte(italic) || !in.Byte(charset)) return false;
            result.weight = weight;
            result.italic = italic != 0;
        }
        if (!in.String(result.fontName)) return false;
    }
    for (uint16_t i = 0; i < count; ++i) {
        DialogControlTemplate control;
        if (!ReadControl(in, result.extended, control)) return false;
        result.controls.push_back(control);
    }
    out = result;
    return true;
}

bool LoadDialogTemplate(const std::string& peFile, const char* name, WORD language, DialogTemplate& out) {
    // As a data file: the module's code neither runs nor needs its imports.
    win::Module module(::LoadLibraryExA(peFile.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) return false;
    HRSRC resource = language == 0 ? ::FindResourceA(module.get(), name, RT_DIALOG)
                                   : ::FindResourceExA(module.get(), RT_DIALOG, name, language);
    if (resource == nullptr) return false;
    HGLOBAL loaded = ::LoadResource(module.get(), resource);
    const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    return data != nullptr && ParseDialogTemplate(data, ::SizeofResource(module.get(), resource), out);
}

namespace {
BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
    return TRUE;
}
}  // namespace

std::vector<WORD> DialogLanguages(const std::string& peFile, const char* name) {
    std::vector<WORD> languages;
    win::Module module(::LoadLibraryExA(peFile.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) return languages;
    ::EnumResourceLanguagesA(module.get(), RT_DIALOG, name, CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

}  // namespace testkit

#include "win/NarrowText.h"

namespace win {

size_t CharLength(const char* text, UINT codePage) {
    if (text[0] == '\0') return 0;
    return ::IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[0])) && text[1] != '\0' ? 2 : 1;
}

const char* FindBackslash(const char* text, UINT codePage) {
    for (size_t n = 0; (n = CharLength(text, codePage)) != 0; text += n) {
        if (n == 1 && *text == '\\') return text;
    }
    return nullptr;
}

size_t FolderLength(const char* path, UINT codePage) {
    size_t folder = 0;
    for (size_t i = 0, n = 0; (n = CharLength(path + i, codePage)) != 0; i += n) {
        if (n == 1 && (path[i] == '\\' || path[i] == '/')) folder = i + 1;
    }
    return folder;
}

}  // namespace win

#pragma once
#include <string>
#include <vector>

#include "installer/UserMessages.h"

namespace testkit {

// Boxes recorded as "text / caption" with their styles instead of shown; every box is
// answered with `answer`.
class RecordingMessages : public UserMessages {
public:
    int Show(const char* text, const char* caption, UINT style) override {
        shown.push_back(std::string(text) + " / " + caption);
        styles.push_back(style);
        return answer;
    }
    std::vector<std::string> shown;
    std::vector<UINT> styles;
    int answer = IDOK;
};

}  // namespace testkit

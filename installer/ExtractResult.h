#pragma once

// What ExtractFile did with one entry. True only when the entry was written whole and not
// empty; the other outcomes say whether a false is the package's business (missing, empty) or
// an item that did not arrive (failed).
class ExtractResult {
public:
    enum Outcome : unsigned char {
        kWritten,
        kEmpty,    // written and recorded, but holding nothing
        kMissing,  // no such entry in the package
        kFailed,   // held by the package but not on disk whole: damaged, undecodable, refused, not written
    };
    // Implicit: an extraction returns its outcome.
    ExtractResult(Outcome outcome) : outcome(outcome) {}
    explicit operator bool() const { return outcome == kWritten; }
    bool Failed() const { return outcome == kFailed; }

private:
    Outcome outcome;
};

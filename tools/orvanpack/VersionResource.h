#pragma once
#include <string>
#include <vector>

// What Explorer's properties and the system's elevation prompt show of a packed file: the
// project's name, version and maker instead of the stub's.
struct ProductInfo {
    std::string name;       // ProductName and FileDescription (UTF-8)
    std::string version;    // ProductVersion; empty: none, and 0.0.0.0 in the fixed part
    std::string publisher;  // CompanyName; empty: none
};

// Gives the PE image stub a version resource for product. The stub's own resource keeps its
// fixed part (file version, flags, type) and FileVersion; the rest is the product's. The new
// resource is placed at the end of the resource section, which grows as needed, moving only
// the base relocations behind it. The stub is left as it is when it carries no version
// resource (false for changed). False, with the reason in error, when it has one but a layout
// this cannot rewrite (another section behind the resources, a damaged resource tree).
bool SetVersionResource(std::vector<unsigned char>& stub, const ProductInfo& product, bool& changed,
                        std::string& error);


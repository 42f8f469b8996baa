#pragma once
// Parse failures come back as values: a manifest is user input, its faults are expected.
// Every file of the packer includes the library through here so all agree on that setting.
#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

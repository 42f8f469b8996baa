#pragma once
#include "engine/EngineInterface.h"

// What the core library's factory asks of a channel library: one export, found by this
// undecorated name, that returns a new channel of classId (owned by the caller, destroyed
// through its first slot) or null when the library does not implement classId.
using CreateEngineChannelFunc = EngineChannel*(ORVAN_ENGINE_CALL*)(const GUID* classId);
constexpr const char kCreateEngineChannelName[] = "CreateEngineChannel";

#define ORVAN_CHANNEL_EXPORT extern "C" __declspec(dllexport)

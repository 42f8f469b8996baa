#pragma once
#include "engine/EngineInterface.h"
#include "win/Handle.h"
#include "win/HeapBuffer.h"

// Maps each class identifier to the channel library that implements it and loads that library
// by full path below the base folder, once; the libraries stay loaded until the factory is
// destroyed, which its control does after the program has destroyed its channels.
class CoreChannelFactory final : public ChannelFactory {
public:
    void ORVAN_ENGINE_CALL Destroy(int deleteFlag) override;
    EngineChannel* ORVAN_ENGINE_CALL CreateChannel(GUID classId, int reserved1, int reserved2) override;

    // The folder that holds "channels\"; an empty one loads nothing. False for a null folder
    // or when it cannot be held; nothing is loaded then.
    bool SetBaseFolder(const char* folder);

private:
    static constexpr int kClassCount = 3;
    win::Module* LibraryFor(int classIndex);

    win::HeapBuffer<char> baseFolder;
    win::Module libraries[kClassCount];
};

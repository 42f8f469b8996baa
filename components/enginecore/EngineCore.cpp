#include <new>
#include <type_traits>

#include "components/enginecore/CoreChannelFactory.h"
#include "engine/EngineInterface.h"
#include "win/HeapBuffer.h"

namespace {

class CoreEngineControl final : public EngineControl {
public:
    explicit CoreEngineControl(CoreChannelFactory* factory) : factory(factory) {}
    ~CoreEngineControl() { factory->Destroy(kEngineDeleteObject); }
    CoreEngineControl(const CoreEngineControl&) = delete;
    CoreEngineControl& operator=(const CoreEngineControl&) = delete;

    void ORVAN_ENGINE_CALL Destroy(int deleteFlag) override {
        if (deleteFlag == kEngineDeleteObject) delete this;
    }

    bool ORVAN_ENGINE_CALL Initialize(HINSTANCE programInstance, const char* className, HWND window) override {
        if (className == nullptr) return false;
        hostClassName.reset(win::DuplicateText(className));
        if (!hostClassName) return false;
        instance = programInstance;
        hostWindow = window;
        return true;
    }

    ChannelFactory* ORVAN_ENGINE_CALL GetChannelFactory() override { return factory; }

    bool ORVAN_ENGINE_CALL SetBaseFolder(const char* folder) override { return factory->SetBaseFolder(folder); }

private:
    CoreChannelFactory* factory;
    // The program's window, for engine parts that report to it.
    HINSTANCE instance = nullptr;
    win::HeapBuffer<char> hostClassName;
    HWND hostWindow = nullptr;
};

}  // namespace

extern "C" __declspec(dllexport) EngineControl* ORVAN_ENGINE_CALL GetEngineControlInstance() {
    auto* factory = new (std::nothrow) CoreChannelFactory;
    if (factory == nullptr) return nullptr;
    auto* control = new (std::nothrow) CoreEngineControl(factory);
    if (control == nullptr) factory->Destroy(kEngineDeleteObject);
    return control;
}

static_assert(std::is_same_v<decltype(&GetEngineControlInstance), GetEngineControlInstanceFunc>,
              "the export must match what the program calls");

#pragma once
#include <cstddef>

#include "engine/EngineInterface.h"

// Owner of one object the engine created (its control object or a channel): empty at null,
// and destroyed through the object's own destructor, Destroy(kEngineDeleteObject), never by
// delete: the object was made by the engine's library and goes back the same way. An owner
// must end before the library that made the object is freed.
template <typename T>
class EngineObject {
public:
    EngineObject() = default;
    explicit EngineObject(T* object) : object(object) {}
    EngineObject(const EngineObject&) = delete;
    EngineObject& operator=(const EngineObject&) = delete;
    EngineObject(EngineObject&& other) noexcept : object(other.object) { other.object = nullptr; }
    EngineObject& operator=(EngineObject&& other) noexcept {
        if (this != &other) {
            reset(other.object);
            other.object = nullptr;
        }
        return *this;
    }
    ~EngineObject() { reset(); }

    T* get() const { return object; }
    T* operator->() const { return object; }
    T& operator*() const { return *object; }
    explicit operator bool() const { return object != nullptr; }
    void reset(T* next = nullptr) {
        T* old = object;
        object = next;
        if (old != nullptr) old->Destroy(kEngineDeleteObject);
    }

    friend bool operator==(const EngineObject& owner, std::nullptr_t) { return owner.object == nullptr; }
    friend bool operator!=(const EngineObject& owner, std::nullptr_t) { return owner.object != nullptr; }

private:
    T* object = nullptr;
};

// A new channel of classId from factory, as the interface Channel of that identifier; null when
// the factory gives none.
template <typename Channel>
Channel* CreateChannelAs(ChannelFactory* factory, const GUID& classId) {
    return static_cast<Channel*>(factory->CreateChannel(classId, 0, 0));
}

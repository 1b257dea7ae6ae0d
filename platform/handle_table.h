#pragma once
// The handles a layer instance has given out: each maps to the object it stands for, so that a
// stale or foreign handle is refused instead of followed. Thread-safe.
#include <memory>
#include <mutex>
#include <unordered_map>

class HandleTable {
public:
    struct Object {
        virtual ~Object() = default;
    };

    void* add(std::unique_ptr<Object> object) {
        if (!object) return nullptr;
        void* handle = object.get();
        std::lock_guard lock(mutex_);
        objects_.emplace(handle, std::move(object));
        return handle;
    }

    // The object behind a handle when it is of type T, else null. Only the thread that uses the
    // handle closes it, so the object stays alive while that thread works on it.
    template <class T>
    T* find(void* handle) {
        std::lock_guard lock(mutex_);
        auto it = objects_.find(handle);
        return it == objects_.end() ? nullptr : dynamic_cast<T*>(it->second.get());
    }

    bool close(void* handle) {
        std::unique_ptr<Object> closing;
        {
            std::lock_guard lock(mutex_);
            auto it = objects_.find(handle);
            if (it == objects_.end()) return false;
            closing = std::move(it->second);
            objects_.erase(it);
        }
        return true;  // `closing` ends its exchange here, outside the lock
    }

private:
    std::mutex mutex_;
    std::unordered_map<void*, std::unique_ptr<Object>> objects_;
};

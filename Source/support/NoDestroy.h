#pragma once

#include <cstddef>
#include <new>
#include <utility>

namespace vel {

// Holds a T in static storage and never destroys it. For process-wide state
// that pool threads may still touch while the process exits: running its
// destructor among the static destructors would race with them. The object
// stays reachable through the storage, so LeakSanitizer does not count it.
template <typename T>
class NoDestroy {
public:
    template <typename... Args>
    explicit NoDestroy(Args&&... args)
    {
        ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
    }
    NoDestroy(const NoDestroy&) = delete;
    NoDestroy& operator=(const NoDestroy&) = delete;

    T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

private:
    alignas(T) std::byte storage_[sizeof(T)];
};

}  // namespace vel

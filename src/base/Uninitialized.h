#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <vector>

// An allocator whose elements are left uninitialised when a container grows
// (resize writes nothing into the new room), for buffers whose bytes are
// written right after: the room of file reads and of gathered output.
template <typename T>
struct UninitializedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <typename U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}

    template <typename U>
    void construct(U* place) noexcept {
        ::new (static_cast<void*>(place)) U;
    }
    template <typename U, typename... Arguments>
    void construct(U* place, Arguments&&... arguments) {
        ::new (static_cast<void*>(place)) U(std::forward<Arguments>(arguments)...);
    }
};

// Bytes whose new room resize leaves as it finds it.
using UninitializedBytes = std::vector<uint8_t, UninitializedAllocator<uint8_t>>;

#pragma once

#include <memory>

// A handle of a C library owned as a unique pointer: the library's own
// function `Destroy` frees it when its owner goes.
template <auto Destroy>
struct HandleDeleter {
    template <typename T>
    void operator()(T* handle) const {
        Destroy(handle);
    }
};

template <typename T, auto Destroy>
using UniqueHandle = std::unique_ptr<T, HandleDeleter<Destroy>>;

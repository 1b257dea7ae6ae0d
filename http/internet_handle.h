#pragma once
// The single owner of one WinINet or WinHttp handle: it closes the handle through the layer that
// made it, once. Moves, never copies.
#include <utility>

#include "platform/wininet.h"
#include "platform/winhttp.h"

inline void closeInternetHandle(WinInet& layer, HINTERNET handle) { layer.InternetCloseHandle(handle); }
inline void closeInternetHandle(WinHttp& layer, HINTERNET handle) { layer.WinHttpCloseHandle(handle); }

template <class Layer>
class InternetHandle {
public:
    InternetHandle(Layer& layer, HINTERNET handle) : layer_(&layer), handle_(handle) {}
    InternetHandle(InternetHandle&& other) noexcept
        : layer_(other.layer_), handle_(std::exchange(other.handle_, nullptr)) {}
    InternetHandle& operator=(InternetHandle&& other) noexcept {
        if (this != &other) {
            reset();
            layer_ = other.layer_;
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    ~InternetHandle() { reset(); }

    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void reset() {
        if (handle_) closeInternetHandle(*layer_, std::exchange(handle_, nullptr));
    }

private:
    Layer* layer_;
    HINTERNET handle_;
};

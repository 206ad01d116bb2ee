#pragma once
// Ownership of the client library's interfaces inside the Firebird adapter.
#include <firebird/Interface.h>

#include <type_traits>
#include <utility>

namespace fb {

// Releases an interface on scope exit unless it was handed over (set to null) by a successful
// close()/free()/commit()/rollback()/detach(), which release it themselves.
template <typename T>
struct Held {
    T* p = nullptr;
    Held() = default;
    explicit Held(T* q) : p(q) {}
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() { reset(); }
    void reset()
    {
        if (p) {
            if constexpr (std::is_base_of_v<Firebird::IReferenceCounted, T>)
                p->release();
            else
                p->dispose();
        }
        p = nullptr;
    }
    T* operator->() const { return p; }
    T* get() const { return p; }
    T* take() { return std::exchange(p, nullptr); }
};

} // namespace fb

// A value written by one thread and polled by others. Every access is a relaxed
// atomic load or store: as cheap as a plain move, but a defined operation while
// another thread reads or writes at the same time. Read-modify-write operators
// are a load and a store, not one indivisible step, so only the owning thread
// may use them.
#pragma once

template <typename T> struct Relaxed {
    T value;

    Relaxed() = default;
    constexpr Relaxed(T x) : value(x) {}
    Relaxed(const Relaxed& other) : value(other.Load()) {}

    T Load() const { return __atomic_load_n(&value, __ATOMIC_RELAXED); }
    void Store(T x) { __atomic_store_n(&value, x, __ATOMIC_RELAXED); }
    // Publishes everything written before it to a thread that reads it with LoadAcquire.
    void StoreRelease(T x) { __atomic_store_n(&value, x, __ATOMIC_RELEASE); }
    T LoadAcquire() const { return __atomic_load_n(&value, __ATOMIC_ACQUIRE); }

    operator T() const { return Load(); }
    Relaxed& operator=(T x) {
        Store(x);
        return *this;
    }
    Relaxed& operator=(const Relaxed& other) {
        Store(other.Load());
        return *this;
    }
    Relaxed& operator+=(T x) {
        Store(T(Load() + x));
        return *this;
    }
    Relaxed& operator++() { return *this += T(1); }
    T operator++(int) {
        T old = Load();
        Store(T(old + 1));
        return old;
    }
};

template <typename T> inline T Peek(const Relaxed<T>& x) { return x.Load(); }

#pragma once
// One Duktape heap with its own allocator, memory cap and fatal-error exit.
//
// Every entry into the engine goes through call(), a protected call: a throw, a syntax error or an
// allocation refused at the cap fails that call and leaves the heap usable. Duktape's fatal
// handler must not return (Duktape aborts the process when it does), and after a fatal error the
// heap's state is undefined: the handler jumps back to the entry point of the running call, the
// heap is marked broken, every later call fails, and its memory is freed block by block instead
// of by duk_destroy_heap. With every entry protected, only a fault inside Duktape gets there.
//
// A heap belongs to one thread at a time. Nothing here throws.
#include <duktape.h>

#include <cstddef>
#include <memory>

class DuktapeHeap {
public:
    // Runs inside a protected call with an empty value stack; its return value is the number of
    // results it left (0 or 1), as for duk_safe_call. It must own no object with a destructor:
    // Duktape's errors leave it by longjmp.
    using Entry = duk_ret_t (*)(duk_context* ctx, void* data);

    // nullptr when the heap cannot be made within the cap.
    static std::unique_ptr<DuktapeHeap> create(std::size_t memoryCap);
    ~DuktapeHeap();
    DuktapeHeap(const DuktapeHeap&) = delete;
    DuktapeHeap& operator=(const DuktapeHeap&) = delete;

    // True when `entry` returned normally. It receives the top `arguments` values of the stack
    // (which the call consumes) and its `results` values are then on top of the value stack
    // until popResult(); on failure nothing of them is left there.
    bool call(Entry entry, void* data, int arguments = 0, int results = 1);
    void popResult(int results = 1);
    duk_context* context() const { return context_; }

    bool broken() const;
    // Bytes held now and the most held at any time (block headers included).
    std::size_t memoryInUse() const;
    std::size_t memoryPeak() const;

    struct State;

private:
    DuktapeHeap(std::unique_ptr<State> state, duk_context* context);
    std::unique_ptr<State> state_;
    duk_context* context_ = nullptr;
};

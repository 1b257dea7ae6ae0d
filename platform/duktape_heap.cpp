#include "platform/duktape_heap.h"

#include <csetjmp>
#include <cstdlib>
#include <new>

namespace {

// Every block carries a header that links it into its heap's list, so that a heap abandoned after
// a fatal error can still be freed, and that counts its size against the cap. The header keeps
// the payload aligned as malloc would.
struct alignas(alignof(std::max_align_t)) BlockHeader {
    BlockHeader* previous;
    BlockHeader* next;
    std::size_t size;
};

}  // namespace

struct DuktapeHeap::State {
    BlockHeader blocks{&blocks, &blocks, 0};  // sentinel of a circular list
    std::size_t inUse = 0;
    std::size_t peak = 0;
    std::size_t cap = 0;
    std::jmp_buf* fatalExit = nullptr;
    bool broken = false;

    bool fits(std::size_t oldSize, std::size_t newSize) const {
        return newSize <= oldSize || newSize - oldSize <= cap - inUse;
    }
    void account(std::size_t oldSize, std::size_t newSize) {
        inUse = inUse - oldSize + newSize;
        if (inUse > peak) peak = inUse;
    }
    void freeAll() {
        while (blocks.next != &blocks) {
            BlockHeader* block = blocks.next;
            blocks.next = block->next;
            std::free(block);
        }
        blocks.previous = &blocks;
        inUse = 0;
    }
};

namespace {

using State = DuktapeHeap::State;

BlockHeader* headerOf(void* payload) { return static_cast<BlockHeader*>(payload) - 1; }

void link(State& state, BlockHeader* block) {
    block->previous = &state.blocks;
    block->next = state.blocks.next;
    state.blocks.next->previous = block;
    state.blocks.next = block;
}

void unlink(BlockHeader* block) {
    block->previous->next = block->next;
    block->next->previous = block->previous;
}

// A refused allocation makes Duktape collect garbage and retry, then throw a RangeError.
void* allocate(void* data, duk_size_t size) {
    State& state = *static_cast<State*>(data);
    std::size_t total = sizeof(BlockHeader) + size;
    if (total < size || !state.fits(0, total)) return nullptr;
    auto* block = static_cast<BlockHeader*>(std::malloc(total));
    if (!block) return nullptr;
    block->size = total;
    link(state, block);
    state.account(0, total);
    return block + 1;
}

void release(void* data, void* payload) {
    if (!payload) return;
    State& state = *static_cast<State*>(data);
    BlockHeader* block = headerOf(payload);
    unlink(block);
    state.account(block->size, 0);
    std::free(block);
}

// Size 0 keeps a block of no payload instead of freeing, so that a non-null answer never means
// a freed block.
void* reallocate(void* data, void* payload, duk_size_t size) {
    if (!payload) return allocate(data, size);
    State& state = *static_cast<State*>(data);
    BlockHeader* block = headerOf(payload);
    std::size_t oldSize = block->size;
    std::size_t total = sizeof(BlockHeader) + size;
    if (total < size || !state.fits(oldSize, total)) return nullptr;
    auto* moved = static_cast<BlockHeader*>(std::realloc(block, total));
    if (!moved) return nullptr;
    // The neighbours still point at the old address.
    moved->previous->next = moved;
    moved->next->previous = moved;
    moved->size = total;
    state.account(oldSize, total);
    return moved + 1;
}

// Duktape's contract: the handler must not return. Jump back to the entry point of the running
// call; the heap is not touched again. Outside any call there is nowhere to go back to.
[[noreturn]] void fatal(void* data, const char*) {
    State& state = *static_cast<State*>(data);
    state.broken = true;
    if (state.fatalExit) std::longjmp(*state.fatalExit, 1);
    std::abort();
}

// Kept apart from any object with a destructor: a longjmp from the fatal handler lands here.
// Returns 1 when the call returned normally, 0 when it threw, -1 after a fatal error.
int protectedCall(State* state, duk_context* ctx, DuktapeHeap::Entry entry, void* data,
                  int arguments, int results) {
    std::jmp_buf exit;
    state->fatalExit = &exit;
    if (setjmp(exit) != 0) {
        state->fatalExit = nullptr;
        return -1;
    }
    duk_int_t rc = duk_safe_call(ctx, entry, data, arguments, results);
    state->fatalExit = nullptr;
    return rc == DUK_EXEC_SUCCESS ? 1 : 0;
}

bool destroyProtected(State* state, duk_context* ctx) {
    std::jmp_buf exit;
    state->fatalExit = &exit;
    if (setjmp(exit) != 0) {
        state->fatalExit = nullptr;
        return false;
    }
    duk_destroy_heap(ctx);
    state->fatalExit = nullptr;
    return true;
}

duk_context* createProtected(State* state) {
    std::jmp_buf exit;
    state->fatalExit = &exit;
    if (setjmp(exit) != 0) {
        state->fatalExit = nullptr;
        return nullptr;
    }
    duk_context* ctx = duk_create_heap(allocate, reallocate, release, state, fatal);
    state->fatalExit = nullptr;
    return ctx;
}

}  // namespace

std::unique_ptr<DuktapeHeap> DuktapeHeap::create(std::size_t memoryCap) {
    auto state = std::unique_ptr<State>(new (std::nothrow) State);
    if (!state) return nullptr;
    state->cap = memoryCap;
    std::unique_ptr<DuktapeHeap> heap(new (std::nothrow) DuktapeHeap(std::move(state), nullptr));
    if (!heap) return nullptr;
    heap->context_ = createProtected(heap->state_.get());
    if (!heap->context_) return nullptr;
    return heap;
}

DuktapeHeap::DuktapeHeap(std::unique_ptr<State> state, duk_context* context)
    : state_(std::move(state)), context_(context) {}

DuktapeHeap::~DuktapeHeap() {
    if (context_ && !state_->broken) destroyProtected(state_.get(), context_);
    // After a fatal error (or one during the destruction) the blocks are freed directly.
    state_->freeAll();
}

bool DuktapeHeap::call(Entry entry, void* data, int arguments, int results) {
    if (state_->broken) return false;
    int outcome = protectedCall(state_.get(), context_, entry, data, arguments, results);
    if (outcome < 0) return false;
    if (outcome == 0) {
        duk_pop_n(context_, results);  // the error value and its padding
        return false;
    }
    return true;
}

void DuktapeHeap::popResult(int results) {
    if (!state_->broken) duk_pop_n(context_, results);
}

bool DuktapeHeap::broken() const { return state_->broken; }
std::size_t DuktapeHeap::memoryInUse() const { return state_->inUse; }
std::size_t DuktapeHeap::memoryPeak() const { return state_->peak; }

#pragma once
// ResourceObject: the handle of a named, reference-counted resource. One class
// template, instantiated once per resource type:
//
//   class ParticleResource
//       : public ResourceObject<ParticleResource, ParticleData, kParticleFormatVersion> { ... };
//
// Handles of one id share one data block (a state word and the type's payload)
// from the type's own block pool. Each type keeps a block map (id -> block) and
// a reference map (id -> count); entries are inserted on lookup and cleared,
// never removed. Every operation runs on the main thread (during start-up, in
// the frame, or in a render-thread task handler); only the pools lock.
//
// The counts are kept true whatever a handle is asked to do: an operation that
// makes a handle hold another block first gives up the one it held, and a
// block is freed only when no handle holds it any more. A block whose last
// reference goes while it is still loading (state 1) is handed to the render
// thread as "UnloadResource" with the block itself, and freed there once its
// load has ended; the handle is empty at once.
//
// A type's own DoUnload may run on a stand-in handle (when the last reference
// goes in a destructor or on the render thread), so it must rely only on the
// block, not on fields of the handle.
#include <boost/pool/singleton_pool.hpp>

#include <atomic>
#include <cstdint>
#include <iostream>
#include <map>
#include <new>
#include <string>
#include <type_traits>

#include "kernel/archive.h"
#include "kernel/error_stream.h"
#include "kernel/file_buffer.h"
#include "kernel/resource_tasks.h"
#include "kernel/rs_hash.h"
#include "kernel/serializable_object.h"

class TaskBatch;

namespace resource_state {
inline constexpr uint32_t kNone = 0;
inline constexpr uint32_t kLoading = 1;
inline constexpr uint32_t kLoaded = 2;
} // namespace resource_state

// A pending load chain, as a handle remembers it: the batch, the counter of
// its last record and a mark unique to this chain left in that record. The
// batch is reused for other chains once this one retires, so the chain is
// recognised by its mark, never by the batch's address alone.
struct LoadChainMark {
    TaskBatch* batch = nullptr;
    uint32_t last = 0;
    uint64_t ticket = 0;
};

// The shared data block of one id. The state is atomic: the IO thread sets it
// back to none when a load fails for good, while the render thread reads it.
template <class Payload>
struct ResourceData {
    std::atomic<uint32_t> state{resource_state::kNone};
    // Handles holding the block, whatever id they hold it under.
    uint32_t holders = 0;
    // The chain last posted to load into the block, by whichever handle.
    LoadChainMark loadChain;
    Payload payload{};
};

// ---- Shared by every type ----

// "UniqueResource" followed by the unique counter as "%d" prints it; the
// counter, shared by all types, then grows by 1.
std::string NextUniqueResourceName();
uint32_t UniqueResourceCounter();

// True when both IOTHREAD and RENDERTHREAD are in ThreadMap: only then may a
// type's DoLoad post its load as a task chain; before, it loads at once.
bool AsyncLoadingAvailable();

// Marks the last record of the batch (one without a callback of its own; else
// the chain goes unmarked). Call it on the main thread right after posting the
// whole chain.
LoadChainMark MarkLoadChain(TaskBatch* batch);
// True while the batch still carries the marked chain and its last record has
// not run.
bool LoadChainPending(const LoadChainMark& mark);
// Cancels the chain's queued records while it is pending; false when there
// was nothing of it left to cancel.
bool CancelLoadChain(const LoadChainMark& mark);

void ReportResourceError(const char* text);

template <class Handle, class Payload, uint16_t kSavedFormatVersion>
class ResourceObject : public SerializableObject {
public:
    using Data = ResourceData<Payload>;
    static constexpr uint16_t kFormatVersion = kSavedFormatVersion;

    ResourceObject() = default;
    ResourceObject(const ResourceObject&) = delete;
    ResourceObject& operator=(const ResourceObject&) = delete;

    ~ResourceObject() override
    {
        if (!keepBlock)
            Release(/*standIn=*/true);
        if (fileBuffer.data && !fileBuffer.external)
            ReleaseFileBuffer();
    }

    bool ReleasePoolMemory() override { return BlockPool::release_memory(); }

    // Types that are stored supply their own.
    void Serialize(Archive&) override { ReportResourceError("Cannot be serialized.\n"); }

    bool IsValid() override { return block_ != nullptr; }
    uint32_t GetState() override { return block_ ? block_->state.load() : resource_state::kNone; }
    uint32_t GetId() override { return id; }
    void SetState(uint32_t state) override
    {
        if (block_)
            block_->state = state;
    }

    // Cancels this handle's load chain and sets the state to 0. A load that
    // another handle started into the same block and that is still under way
    // is left alone: its tasks still write into the block.
    void CancelTasks() override
    {
        const LoadChainMark mark = pendingBatch;
        pendingBatch = {};
        if (!block_)
            return;
        const LoadChainMark& chain = block_->loadChain;
        if (chain.ticket != mark.ticket && LoadChainPending(chain))
            return;
        CancelLoadChain(mark);
        block_->state = resource_state::kNone;
    }

    void CreateUnique() override
    {
        if (block_) {
            ReportResourceError("CreateUnique: resource already created.\n");
            Release(false);
        }
        const uint32_t newId = RSHash(NextUniqueResourceName());
        if (!TakeNewBlock(resource_state::kLoading))
            return;
        id = newId;
        Register(/*overwrite=*/true);
    }

    void CreateById(uint32_t newId) override
    {
        Release(false);
        if (!TakeNewBlock(resource_state::kLoading)) {
            id = newId;
            return;
        }
        id = newId;
        Register(true);
    }

    // True when this handle started the load, false when it joined the block
    // already registered under the name (or none could be had).
    bool LoadByName(const std::string& name) override
    {
        const uint32_t newId = RSHash(name);
        Data* registered = Blocks()[newId];
        if (registered) {
            if (registered != block_) {
                Release(false);
                Hold(registered, newId);
            } else if (id != newId) {
                Unregister();
                id = newId;
                Register(false);
            }
            return false;
        }
        if (block_ && block_->holders > 1)
            Release(false); // never reload a block under its other holders
        else if (block_)
            Unregister();   // reused, but no longer under its old id
        id = newId;
        if (!block_ && !TakeNewBlock(resource_state::kNone))
            return false;
        if (block_->state == resource_state::kLoaded)
            ReportResourceError("resource object is already loaded.\n");
        block_->state = resource_state::kLoading;
        DoLoad(name);
        // DoLoad may have renamed the handle (a file's id text) or emptied it.
        if (block_)
            Register(false);
        return true;
    }

    // True when a block is registered under the id and the handle now shares
    // it. On failure a handle that holds a block keeps it and its id.
    bool AttachById(uint32_t newId) override
    {
        Data* registered = Blocks()[newId];
        if (!registered) {
            if (!block_)
                id = newId;
            return false;
        }
        if (registered == block_) {
            if (id != newId) {
                Unregister();
                id = newId;
                Register(false);
            }
            return true;
        }
        Release(false);
        Hold(registered, newId);
        return true;
    }

    void ReleaseResource() override { Release(false); }

    void SaveToFile(const std::string& name) override
    {
        formatVersion = kFormatVersion;
        WriteObjectFile(*this, name);
    }

    // A missing file leaves the object as it was (a block still marked loading
    // drops to 0, as nothing will load it); a damaged one leaves a block that
    // the handle already held freshly built at state 0, and gives one the read
    // itself made back.
    bool LoadFromFile(const std::string& name) override
    {
        const bool hadBlock = block_ != nullptr;
        return FinishRead(hadBlock, ReadObjectFile(*this, name));
    }

    // The same over a resource file already in memory; `name` labels reports.
    bool LoadFromMemory(const void* data, uint32_t size, const std::string& name)
    {
        const bool hadBlock = block_ != nullptr;
        return FinishRead(hadBlock, ReadObjectBytes(*this, data, size, name));
    }

    // Moves this handle's reference to the name's id and registers its block
    // there; the count under the new id counts this handle once more.
    void SetName(const std::string& name) override { Rename(RSHash(name)); }

    // An id text that spells a number is that id, so a file's links to other
    // resources find them by the ids they were written with; any other text
    // names the handle.
    void SetIdText(const std::string& text) override
    {
        uint32_t number = 0;
        if (ParseIdText(text, number))
            Rename(number);
        else
            SetName(text);
    }

    // The type's own load; by default none.
    virtual void DoLoad(const std::string& /*name*/) { std::cout << "Sick my duck\n"; }
    // The type's own release; true when the block may be destroyed and pooled.
    virtual bool DoUnload()
    {
        std::cout << "Dog my cat\n";
        return true;
    }
    // The state and payload into the other handle's block (which it must hold).
    virtual void CopyPayloadTo(ResourceObject& other)
    {
        if (!block_ || !other.block_ || block_ == other.block_)
            return;
        other.block_->state = block_->state.load();
        if constexpr (std::is_copy_assignable_v<Payload>)
            other.block_->payload = block_->payload;
    }

    Payload* GetPayload() { return block_ ? &block_->payload : nullptr; }
    Data* GetBlock() { return block_; }

    // ---- Statics of the type ----

    // The block registered under the id, or null; the reference count of the id.
    static Data* RegisteredBlock(uint32_t blockId) { return Blocks()[blockId]; }
    static uint32_t ReferenceCount(uint32_t blockId) { return Refs()[blockId]; }

    // Erases the entries of ids that hold no block and no count; the maps
    // otherwise keep every id ever looked up.
    static void ForgetClearedIds()
    {
        std::map<uint32_t, Data*>& blocks = Blocks();
        std::map<uint32_t, uint32_t>& refs = Refs();
        for (auto it = refs.begin(); it != refs.end();) {
            const auto block = blocks.find(it->first);
            if (it->second == 0 && (block == blocks.end() || !block->second))
                it = refs.erase(it);
            else
                ++it;
        }
        for (auto it = blocks.begin(); it != blocks.end();) {
            if (!it->second && refs.find(it->first) == refs.end())
                it = blocks.erase(it);
            else
                ++it;
        }
    }
    void ForgetClearedEntries() override { ForgetClearedIds(); }
    // Ids with an entry in either map.
    static size_t KnownIdCount()
    {
        std::map<uint32_t, Data*>& blocks = Blocks();
        size_t count = blocks.size();
        for (const auto& entry : Refs())
            count += blocks.count(entry.first) ? 0 : 1;
        return count;
    }

    // The deferred release of a block no handle holds any more.
    static void ReleaseOrphan(void* address)
    {
        Data* data = static_cast<Data*>(address);
        if (data->state == resource_state::kLoading && PostUnloadResource(data, &ReleaseOrphan))
            return;
        Handle standIn;
        static_cast<ResourceObject&>(standIn).UnloadHeld(data);
    }

    uint32_t id = 0;
    FileBuffer fileBuffer;
    // The chain of load tasks this handle's DoLoad posted, if any.
    LoadChainMark pendingBatch;

protected:
    // For a DoLoad that posts its load chain: after the chain's last PushTask.
    void SetPendingBatch(TaskBatch* batch)
    {
        pendingBatch = MarkLoadChain(batch);
        if (block_)
            block_->loadChain = pendingBatch;
    }

private:
    struct PoolTag {};
    static_assert(alignof(Data) <= 16, "pool blocks are 16-byte aligned at most");
    using BlockPool = boost::singleton_pool<PoolTag, sizeof(Data), boost::default_user_allocator_new_delete,
                                            boost::details::pool::default_mutex, 32, 0>;

    // Never destroyed: handles in static objects may release after exit began.
    static std::map<uint32_t, Data*>& Blocks()
    {
        static auto* blocks = new std::map<uint32_t, Data*>;
        return *blocks;
    }
    static std::map<uint32_t, uint32_t>& Refs()
    {
        static auto* refs = new std::map<uint32_t, uint32_t>;
        return *refs;
    }

    // SetName with the id given.
    void Rename(uint32_t newId)
    {
        if (!block_) {
            id = newId;
            return;
        }
        Unregister();
        id = newId;
        Register(false);
    }

    bool TakeNewBlock(uint32_t state)
    {
        void* memory = BlockPool::malloc();
        if (!memory) {
            ReportResourceError("Out of memory for a resource block.\n");
            return false;
        }
        block_ = new (memory) Data();
        counted_ = false;
        block_->state = state;
        block_->holders = 1;
        return true;
    }

    void Hold(Data* data, uint32_t newId)
    {
        block_ = data;
        ++data->holders;
        id = newId;
        Register(false);
    }

    // Counts this handle under its id (once): one more when its block is the
    // one registered there, else the block is registered with count 1.
    void Register(bool overwrite)
    {
        Data*& registered = Blocks()[id];
        uint32_t& count = Refs()[id];
        if (!overwrite && registered == block_) {
            if (!counted_)
                ++count;
        } else {
            registered = block_;
            count = 1;
        }
        counted_ = true;
    }

    // Takes this handle's count off its id; the last one clears the entries.
    // Nothing when another block has since been registered over it.
    void Unregister()
    {
        if (!counted_)
            return;
        counted_ = false;
        Data*& registered = Blocks()[id];
        uint32_t& count = Refs()[id];
        if (!block_ || registered != block_)
            return;
        if (count > 1) {
            --count;
        } else {
            registered = nullptr;
            count = 0;
        }
    }

    void Release(bool standIn)
    {
        pendingBatch = {};
        if (!block_) {
            Data*& registered = Blocks()[id];
            if (!registered)
                Refs()[id] = 0;
            id = 0;
            return;
        }
        Data* data = block_;
        Unregister();
        block_ = nullptr;
        id = 0;
        if (--data->holders > 0)
            return;
        if (data->state == resource_state::kLoading && PostUnloadResource(data, &ReleaseOrphan))
            return;
        if (standIn) {
            // The handle's own class is gone already: its DoUnload runs on a stand-in.
            Handle other;
            static_cast<ResourceObject&>(other).UnloadHeld(data);
        } else {
            UnloadHeld(data);
        }
    }

    // DoUnload on this handle with the block, then the block back to the pool.
    void UnloadHeld(Data* data)
    {
        block_ = data;
        const bool destroy = DoUnload();
        block_ = nullptr;
        if (destroy) {
            data->~Data();
            BlockPool::free(data);
        }
    }

    bool FinishRead(bool hadBlock, FileReadResult result)
    {
        switch (result) {
        case FileReadResult::Read:
            if (block_)
                block_->state = resource_state::kLoaded;
            return block_ != nullptr;
        case FileReadResult::Missing:
            if (block_ && block_->state == resource_state::kLoading)
                block_->state = resource_state::kNone;
            return false;
        case FileReadResult::Damaged:
            if (block_ && hadBlock) {
                ResetPayload();
            } else if (block_) {
                block_->state = resource_state::kNone;
                Release(false);
            }
            return false;
        }
        return false;
    }

    void ResetPayload()
    {
        block_->payload.~Payload();
        new (&block_->payload) Payload();
        block_->state = resource_state::kNone;
    }

    void ReleaseFileBuffer();

    Data* block_ = nullptr;
    bool counted_ = false; // this handle's reference is in the count of its id
};

void ReleaseResourceFileBuffer(FileBuffer& buffer);

template <class Handle, class Payload, uint16_t kSavedFormatVersion>
void ResourceObject<Handle, Payload, kSavedFormatVersion>::ReleaseFileBuffer()
{
    ReleaseResourceFileBuffer(fileBuffer);
}

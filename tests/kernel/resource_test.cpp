// Resource handles for real: blocks shared and counted per id, freed by the
// last release; resource files saved and loaded back; loads at once before the
// engine threads run and as chains through IOTHREAD and RENDERTHREAD after;
// releases of loading blocks finished on the render thread.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/engine_threads.h"
#include "kernel/file_system.h"
#include "kernel/memory_pools.h"
#include "kernel/settings.h"
#include "kernel/global_objects.h"
#include "kernel/handler_module.h"
#include "kernel/math/float3.h"
#include "kernel/memory_archive.h"
#include "kernel/queue_registry.h"
#include "kernel/resource_object.h"
#include "kernel/resource_tasks.h"
#include "kernel/resource_types.h"
#include "kernel/thread_map.h"
#include "testing/message_box_script.h"
#include "testing/engine_thread_run.h"
#include "testing/test_files.h"

namespace fs = std::filesystem;

namespace {

fs::path Folder()
{
    static const fs::path folder = zandrel_test::FreshProgramFolder("zandrel_resources_");
    return folder;
}

std::string Message(const platform::testing::ShownBox& box)
{
    return box.text.substr(0, box.text.find('\n') + 1);
}

using CaptureOutput = zandrel_test::CoutCapture;

// ---- A resource type of the tests: a note read from a resource file ----

struct NoteData {
    std::string text;
    uint32_t value = 0;
    float3 where;
    FileBuffer file; // the bytes a threaded load brings
};

int unloads = 0;
constexpr uint32_t kNoteUploadTask = RSHashConst("NoteUpload");

class NoteResource : public ResourceObject<NoteResource, NoteData, kMaterialFormatVersion> {
public:
    ~NoteResource() override
    {
        if (!keepBlock)
            ReleaseResource();
    }

    void Serialize(Archive& archive) override
    {
        NoteData& note = *GetPayload();
        archive.String(note.text);
        archive.U32(note.value);
        archive.Float3(note.where);
    }

    // At once before the threads run; afterwards the file through IOTHREAD,
    // then the fields on RENDERTHREAD ("NoteUpload").
    void DoLoad(const std::string& name) override
    {
        if (!AsyncLoadingAvailable()) {
            LoadFromFile(name);
            return;
        }
        Data* block = GetBlock();
        QueueRegistry* registry = GetQueueRegistry();
        TaskBatch* batch = registry->AllocQueue(0);
        batch->PushTask(LoadFromHDDTask(&block->payload.file, name, 0, 0, nullptr, &block->state),
                        GetThreadMap().Find(kIOThreadId), name);
        TaskMessage upload;
        upload.taskId = kNoteUploadTask;
        upload.Set<PayloadField<Data*, 0>>(block);
        batch->PushTask(upload, GetThreadMap().Find(kRenderThreadId), "vr");
        SetPendingBatch(batch);
    }

    bool DoUnload() override
    {
        ++unloads;
        ReleaseResourceFileBuffer(GetPayload()->file);
        return true;
    }
};

// The render thread's half of a threaded note load: the resource file's
// framing, then the fields, then the state.
struct NoteUploadModule : HandlerModule<NoteUploadModule> {
    void RegisterHandlers() override { RegisterHandler("NoteUpload", &NoteUploadModule::Upload); }
    void Upload(TaskMessage* task)
    {
        auto* block = task->Get<PayloadField<NoteResource::Data*, 0>>();
        ++uploads;
        MemoryArchive archive;
        archive.ReadFrom(block->payload.file.data, block->payload.file.size);
        uint16_t version = 0;
        archive.U16(version);
        if (version != 0)
            archive.String(archive.scratch);
        archive.String(block->payload.text);
        archive.U32(block->payload.value);
        archive.Float3(block->payload.where);
        block->state = archive.Damaged() ? resource_state::kNone : resource_state::kLoaded;
        ReleaseResourceFileBuffer(block->payload.file);
    }
    static inline int uploads = 0;
};

// A type with nothing of its own: the template's defaults.
struct PlainData {
    uint32_t word = 0;
};
class PlainResource : public ResourceObject<PlainResource, PlainData, kParticleFormatVersion> {};

// Writes a note resource file into the folder.
void SaveNote(const std::string& name, const std::string& text, uint32_t value)
{
    const int unloadsBefore = unloads;
    {
        NoteResource note;
        note.CreateUnique();
        note.GetPayload()->text = text;
        note.GetPayload()->value = value;
        note.GetPayload()->where = {1.0f, 2.0f, 3.0f};
        note.SaveToFile((Folder() / name).string());
    }
    unloads = unloadsBefore;
}

std::vector<uint8_t> FileBytes(const std::string& name)
{
    return zandrel_test::ReadBytes(Folder() / name);
}

class Resources : public testing::Test {
protected:
    // The suite leaves no file system, pools or settings behind for the suites
    // after it, which build their own from their own folders.
    static void TearDownTestSuite()
    {
        DestroyIOThread();
        DestroyFileSystem();
        DestroyPools();
        ReleaseSettings();
    }

    void SetUp() override
    {
        GetFileSystem()->Mount(Folder().string(), "");
        boxes.Clear();
        unloads = 0;
        NoteUploadModule::uploads = 0;
    }

    // Runs the real engine threads: IOTHREAD beside, RENDERTHREAD inline here,
    // calling `frame` once per main-loop cycle until it returns true. Bounded
    // by wall time; the threads are destroyed afterwards, as at shutdown.
    void RunThreads(const std::function<bool()>& frame)
    {
        const bool finished = zandrel_test::RunEngineThreads(
            [](RenderThread* render) {
                auto* upload = new NoteUploadModule;
                upload->owned = true;
                render->AddModule(upload);
            },
            [&](int) { return frame(); }, std::chrono::seconds(20));
        EXPECT_TRUE(finished) << "the frames did not finish in time";
    }

    platform::testing::ScriptedMessageBoxes boxes;
};

// ---- Files ----

TEST_F(Resources, AResourceIsSavedAndLoadedBack)
{
    NoteResource saved;
    saved.CreateById(1234);
    saved.GetPayload()->text = "hello";
    saved.GetPayload()->value = 77;
    saved.SaveToFile((Folder() / "hello.note").string());
    const auto bytes = FileBytes("hello.note");
    ASSERT_GE(bytes.size(), 7u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 7),
              (std::vector<uint8_t>{0x01, 0x00, '1', '2', '3', '4', 0x00}));

    NoteResource loaded;
    EXPECT_TRUE(loaded.LoadFromFile("hello.note"));
    // The id is the number the text spells, as it was written.
    EXPECT_EQ(loaded.GetId(), 1234u);
    EXPECT_EQ(loaded.GetState(), resource_state::kLoaded);
    EXPECT_EQ(loaded.GetPayload()->text, "hello");
    EXPECT_EQ(loaded.GetPayload()->value, 77u);
    EXPECT_EQ(NoteResource::RegisteredBlock(1234), loaded.GetBlock());
    EXPECT_EQ(NoteResource::ReferenceCount(1234), 1u);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(Resources, AVersionZeroFileGivesAnEmptyHandleAUniqueBlock)
{
    {
        std::ofstream out(Folder() / "plain.res", std::ios::binary);
        out.write("\0\0", 2);
    }
    CaptureOutput output;
    PlainResource plain;
    const uint32_t counter = UniqueResourceCounter();
    // The template's own Serialize stores and reads nothing.
    EXPECT_TRUE(plain.LoadFromFile("plain.res"));
    EXPECT_EQ(plain.GetId(), RSHash("UniqueResource" + std::to_string(counter)));
    EXPECT_EQ(plain.GetState(), resource_state::kLoaded);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(Message(boxes.Shown()[0]), "Cannot be serialized.\n");
    // Its format version, 0, is what it writes.
    plain.SaveToFile((Folder() / "plain_again.res").string());
    EXPECT_EQ(FileBytes("plain_again.res"), (std::vector<uint8_t>{0x00, 0x00}));
}

TEST_F(Resources, AMissingFileLeavesTheResourceNotLoaded)
{
    NoteResource note;
    EXPECT_TRUE(note.LoadByName("missing.note")); // it started the load
    EXPECT_TRUE(note.IsValid());
    EXPECT_EQ(note.GetState(), resource_state::kNone);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(Message(boxes.Shown()[0]), "Can't load file: missing.note\n");
    // Not loading, so the release frees it at once.
    note.ReleaseResource();
    EXPECT_EQ(unloads, 1);
}

TEST_F(Resources, ADamagedFileLeavesACleanlyEmptyObject)
{
    SaveNote("whole.note", "a long text that will be cut", 5);
    auto bytes = FileBytes("whole.note");
    bytes.resize(bytes.size() - 20);
    std::ofstream(Folder() / "cut.note", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

    NoteResource fresh; // no block before: none after
    EXPECT_FALSE(fresh.LoadFromFile("cut.note"));
    EXPECT_FALSE(fresh.IsValid());
    EXPECT_EQ(fresh.GetId(), 0u);

    NoteResource held; // a block before: freshly built, not loaded
    held.CreateUnique();
    held.GetPayload()->value = 99;
    EXPECT_FALSE(held.LoadFromFile("cut.note"));
    ASSERT_TRUE(held.IsValid());
    EXPECT_EQ(held.GetState(), resource_state::kNone);
    EXPECT_EQ(held.GetPayload()->text, "");
    EXPECT_EQ(held.GetPayload()->value, 0u);
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(Message(boxes.Shown()[0]), "Resource file cut.note is truncated or damaged.\n");
}

// ---- Sharing and counting ----

TEST_F(Resources, TwoHandlesOfOneNameShareOneBlockUntilTheLastRelease)
{
    SaveNote("shared.note", "shared", 1);
    NoteResource first;
    NoteResource second;
    EXPECT_TRUE(first.LoadByName("shared.note"));
    // The file's id text renamed the block; the name itself maps the second load.
    const uint32_t id = first.GetId();
    EXPECT_TRUE(second.AttachById(id));
    EXPECT_EQ(first.GetBlock(), second.GetBlock());
    EXPECT_EQ(NoteResource::ReferenceCount(id), 2u);

    first.ReleaseResource();
    EXPECT_EQ(NoteResource::ReferenceCount(id), 1u);
    EXPECT_EQ(unloads, 0);
    EXPECT_EQ(second.GetPayload()->text, "shared");
    second.ReleaseResource();
    EXPECT_EQ(unloads, 1);
    EXPECT_EQ(NoteResource::RegisteredBlock(id), nullptr);
    EXPECT_EQ(NoteResource::ReferenceCount(id), 0u);
    EXPECT_FALSE(second.AttachById(id)); // released ids attach nothing
}

TEST_F(Resources, LoadByNameSharesWhatIsRegisteredUnderTheName)
{
    CaptureOutput output;
    PlainResource a;
    PlainResource b;
    EXPECT_TRUE(a.LoadByName("plain/one"));
    EXPECT_FALSE(b.LoadByName("plain/one"));
    EXPECT_EQ(a.GetBlock(), b.GetBlock());
    EXPECT_EQ(PlainResource::ReferenceCount(RSHash("plain/one")), 2u);
    // The default load loads nothing and leaves the block loading.
    EXPECT_EQ(a.GetState(), resource_state::kLoading);
    // Asking the same handle again changes no count.
    EXPECT_FALSE(b.LoadByName("plain/one"));
    EXPECT_EQ(PlainResource::ReferenceCount(RSHash("plain/one")), 2u);
    a.SetState(resource_state::kLoaded);
    a.ReleaseResource();
    b.ReleaseResource();
    EXPECT_EQ(output.Text(), "Sick my duck\nDog my cat\n");
}

TEST_F(Resources, CountsStayTrueWhateverAHandleIsAskedToDo)
{
    CaptureOutput output;
    PlainResource a;
    PlainResource b;
    a.CreateById(RSHash("held"));
    a.SetState(resource_state::kLoaded);
    EXPECT_TRUE(b.AttachById(RSHash("held")));
    auto* block = a.GetBlock();

    // SetName moves only this handle's reference.
    b.SetName("another name");
    EXPECT_EQ(PlainResource::ReferenceCount(RSHash("held")), 1u);
    EXPECT_EQ(PlainResource::ReferenceCount(RSHash("another name")), 1u);
    EXPECT_EQ(PlainResource::RegisteredBlock(RSHash("another name")), block);
    a.ReleaseResource(); // the block survives: b holds it
    EXPECT_EQ(output.Text(), "");
    EXPECT_EQ(b.GetBlock(), block);

    // Attaching elsewhere gives the held reference up.
    PlainResource c;
    c.CreateById(RSHash("other"));
    c.SetState(resource_state::kLoaded);
    EXPECT_TRUE(b.AttachById(RSHash("other")));
    EXPECT_EQ(output.Text(), "Dog my cat\n"); // b was the block's last holder
    EXPECT_EQ(PlainResource::RegisteredBlock(RSHash("another name")), nullptr);
    EXPECT_EQ(PlainResource::ReferenceCount(RSHash("other")), 2u);

    // Attaching to the block it holds, under a second id, moves its count.
    c.SetName("also other");
    EXPECT_TRUE(c.AttachById(RSHash("other")));
    EXPECT_EQ(PlainResource::ReferenceCount(RSHash("other")), 2u);
    EXPECT_EQ(PlainResource::ReferenceCount(RSHash("also other")), 0u);
    EXPECT_EQ(output.Text(), "Dog my cat\n");

    // A failed attach keeps the handle as it was.
    EXPECT_FALSE(b.AttachById(RSHash("nothing here")));
    EXPECT_EQ(b.GetId(), RSHash("other"));
    EXPECT_EQ(PlainResource::ReferenceCount(RSHash("other")), 2u);

    // CreateById and CreateUnique give the held reference up too.
    b.CreateById(RSHash("third"));
    EXPECT_EQ(PlainResource::ReferenceCount(RSHash("other")), 1u);
    b.SetState(resource_state::kLoaded);
    c.CreateUnique();
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(Message(boxes.Shown()[0]), "CreateUnique: resource already created.\n");
    EXPECT_EQ(PlainResource::RegisteredBlock(RSHash("other")), nullptr);
    EXPECT_EQ(output.Text(), "Dog my cat\nDog my cat\n");

    // LoadByName on a handle holding a shared block does not reload it under
    // its other holder.
    PlainResource d;
    EXPECT_TRUE(d.AttachById(RSHash("third")));
    EXPECT_TRUE(d.LoadByName("fourth"));
    EXPECT_NE(d.GetBlock(), b.GetBlock());
    EXPECT_EQ(b.GetState(), resource_state::kLoaded);
    EXPECT_EQ(PlainResource::ReferenceCount(RSHash("third")), 1u);
    c.SetState(resource_state::kLoaded);
    d.SetState(resource_state::kLoaded);
}

TEST_F(Resources, ReloadingALoadedBlockUnderANewNameReportsThenLoads)
{
    CaptureOutput output;
    PlainResource a;
    EXPECT_TRUE(a.LoadByName("plain/first"));
    a.SetState(resource_state::kLoaded);
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_TRUE(a.LoadByName("plain/second"));
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(Message(boxes.Shown()[0]), "resource object is already loaded.\n");
    EXPECT_EQ(a.GetState(), resource_state::kLoading);
    EXPECT_EQ(PlainResource::RegisteredBlock(RSHash("plain/second")), a.GetBlock());
    EXPECT_EQ(PlainResource::ReferenceCount(RSHash("plain/second")), 1u);
    EXPECT_EQ(PlainResource::RegisteredBlock(RSHash("plain/first")), nullptr);
    EXPECT_EQ(output.Text(), "Sick my duck\nSick my duck\n");
    a.SetState(resource_state::kLoaded);
}

TEST_F(Resources, UniqueNamesCountAcrossTypes)
{
    CaptureOutput output;
    const uint32_t counter = UniqueResourceCounter();
    PlainResource plain;
    NoteResource note;
    plain.CreateUnique();
    note.CreateUnique();
    EXPECT_EQ(plain.GetId(), RSHash("UniqueResource" + std::to_string(counter)));
    EXPECT_EQ(note.GetId(), RSHash("UniqueResource" + std::to_string(counter + 1)));
    EXPECT_EQ(plain.GetState(), resource_state::kLoading);
    plain.SetState(resource_state::kLoaded);
}

TEST_F(Resources, ReleasingAnEmptyHandleTouchesOnlyItsOwnEntries)
{
    PlainResource empty;
    empty.ReleaseResource();
    EXPECT_EQ(PlainResource::RegisteredBlock(0), nullptr);
    EXPECT_EQ(PlainResource::ReferenceCount(0), 0u);
    EXPECT_EQ(empty.GetId(), 0u);
}

// Entries stay for every id ever looked up, until the ids no handle counts
// are forgotten; an id still held keeps its entries and its count.
TEST_F(Resources, ClearedIdsAreForgottenAndHeldOnesKept)
{
    PlainResource::ForgetClearedIds();
    const size_t before = PlainResource::KnownIdCount();
    PlainResource kept;
    kept.CreateById(777);
    {
        PlainResource gone[3];
        for (PlainResource& handle : gone)
            handle.CreateUnique();
        PlainResource::RegisteredBlock(12345); // a lookup makes an entry too
        EXPECT_GE(PlainResource::KnownIdCount(), before + 5);
    }
    EXPECT_GE(PlainResource::KnownIdCount(), before + 5); // cleared, not removed
    PlainResource::ForgetClearedIds();
    EXPECT_EQ(PlainResource::KnownIdCount(), before + 1);
    EXPECT_EQ(PlainResource::ReferenceCount(777), 1u);
    EXPECT_EQ(PlainResource::RegisteredBlock(777), kept.GetBlock());

    // Through the global object list: every registered type forgets its own.
    ForgetClearedResourceEntries();
    EXPECT_EQ(PlainResource::ReferenceCount(777), 1u);
}

TEST_F(Resources, LoadingBlocksAreFreedAtOnceWhileNoRenderThreadRuns)
{
    PlainResource a;
    a.CreateUnique(); // state 1, nobody will finish it
    CaptureOutput output;
    a.ReleaseResource();
    EXPECT_EQ(output.Text(), "Dog my cat\n");
    EXPECT_FALSE(a.IsValid());
}

TEST_F(Resources, CancelWithNoPendingChainSetsTheStateToNone)
{
    CaptureOutput output;
    PlainResource a;
    a.CreateUnique();
    a.CancelTasks();
    EXPECT_EQ(a.GetState(), resource_state::kNone);
    a.SetState(resource_state::kLoaded);
}

TEST_F(Resources, TheGlobalObjectListReleasesInRegistrationOrder)
{
    static std::vector<std::string> events;
    struct Probe : PlainResource {
        explicit Probe(std::string n) : name(std::move(n)) {}
        ~Probe() override { events.push_back("delete " + name); }
        bool ReleasePoolMemory() override
        {
            events.push_back("pool " + name);
            return PlainResource::ReleasePoolMemory();
        }
        std::string name;
    };
    events.clear();
    const size_t before = GlobalObjectCount();
    Probe* first = RegisterGlobalObject(new Probe("first"));
    RegisterGlobalObject(new Probe("second"));
    EXPECT_EQ(first->name, "first");
    EXPECT_EQ(GlobalObjectCount(), before + 2);
    DeleteGlobalObjects();
    EXPECT_EQ(GlobalObjectCount(), 0u);
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(events.end() - 4, events.end()),
              (std::vector<std::string>{"pool first", "delete first", "pool second", "delete second"}));
}

// ---- The engine threads ----

TEST_F(Resources, LoadsRunAtOnceBeforeTheThreadsAndAsChainsAfter)
{
    SaveNote("sync.note", "at once", 11);
    SaveNote("async.note", "through the threads", 22);
    ASSERT_FALSE(AsyncLoadingAvailable());
    NoteResource before;
    EXPECT_TRUE(before.LoadByName("sync.note"));
    EXPECT_EQ(before.GetState(), resource_state::kLoaded);
    EXPECT_EQ(before.GetPayload()->value, 11u);

    NoteResource after;
    NoteResource joined;
    int frame = 0;
    RunThreads([&] {
        ++frame;
        if (frame == 1) {
            EXPECT_TRUE(AsyncLoadingAvailable());
            EXPECT_TRUE(after.LoadByName("async.note"));
            EXPECT_EQ(after.GetState(), resource_state::kLoading);
            // A second load of the name joins the loading block.
            EXPECT_FALSE(joined.LoadByName("async.note"));
            EXPECT_EQ(joined.GetBlock(), after.GetBlock());
            // Not its load to cancel: the block goes on loading.
            joined.CancelTasks();
            EXPECT_EQ(after.GetState(), resource_state::kLoading);
            return false;
        }
        return after.GetState() != resource_state::kLoading;
    });
    EXPECT_EQ(after.GetState(), resource_state::kLoaded);
    EXPECT_EQ(after.GetPayload()->text, "through the threads");
    EXPECT_EQ(joined.GetPayload()->value, 22u);
    EXPECT_EQ(NoteResource::ReferenceCount(RSHash("async.note")), 2u);
    EXPECT_EQ(NoteUploadModule::uploads, 1);
    // The chain has run: a cancel now only sets the state.
    after.CancelTasks();
    EXPECT_EQ(after.GetState(), resource_state::kNone);
    EXPECT_FALSE(AsyncLoadingAvailable());
}

// The IO thread gives up on a missing file and sets the state back to none
// while the frame keeps reading it: the frame sees the change, the upload
// never runs, and nothing is shown.
TEST_F(Resources, AThreadedLoadThatFailsIsSeenAsNoneByTheFrame)
{
    NoteResource missing;
    int frame = 0;
    CaptureOutput quiet;
    RunThreads([&] {
        if (++frame == 1) {
            EXPECT_TRUE(missing.LoadByName("no-such.note"));
            return false;
        }
        return missing.GetState() != resource_state::kLoading;
    });
    EXPECT_EQ(missing.GetState(), resource_state::kNone);
    EXPECT_EQ(NoteUploadModule::uploads, 0);
    EXPECT_NE(quiet.Text().find("File no-such.note not found in PhysFS"), std::string::npos);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(Resources, AHandleDestroyedWhileLoadingIsReleasedAfterTheLoad)
{
    SaveNote("orphan.note", "orphan", 3);
    NoteResource* block = nullptr;
    NoteResource::Data* data = nullptr;
    NoteResource again;
    int frame = 0;
    int freedAt = 0;
    int loadedAt = 0;
    RunThreads([&] {
        ++frame;
        if (frame == 1) {
            block = new NoteResource;
            EXPECT_TRUE(block->LoadByName("orphan.note"));
            data = block->GetBlock();
            delete block; // its last reference goes while loading
            // The name is free at once: a new load makes a new block.
            EXPECT_EQ(NoteResource::RegisteredBlock(RSHash("orphan.note")), nullptr);
            EXPECT_TRUE(again.LoadByName("orphan.note"));
            EXPECT_NE(again.GetBlock(), data);
            again.CancelTasks(); // cancelled: its block is not loading any more
            EXPECT_EQ(again.GetState(), resource_state::kNone);
            return false;
        }
        if (!loadedAt && NoteUploadModule::uploads == 1)
            loadedAt = frame;
        if (!freedAt && unloads == 1)
            freedAt = frame;
        return freedAt != 0;
    });
    EXPECT_EQ(NoteUploadModule::uploads, 1); // the cancelled chain never uploaded
    EXPECT_EQ(unloads, 1);
    EXPECT_GT(loadedAt, 0);
    EXPECT_GE(freedAt, loadedAt);
}

// Sees every "UnloadResource" the render thread runs, beside the real handler.
struct UnloadSpyModule : HandlerModule<UnloadSpyModule> {
    void RegisterHandlers() override { RegisterHandler("UnloadResource", &UnloadSpyModule::Seen); }
    void Seen(TaskMessage* task)
    {
        ++runs;
        if (std::string(task->tag.c_str()) != "unres" || task->target != GetThreadMap().Find(kRenderThreadId))
            ++misaddressed;
    }
    static inline int runs = 0;
    static inline int misaddressed = 0;
};

TEST_F(Resources, UnloadResourceRepostsUntilTheLoadEnds)
{
    CaptureOutput output;
    UnloadSpyModule::runs = 0;
    UnloadSpyModule::misaddressed = 0;
    auto* spy = new UnloadSpyModule;
    spy->owned = true;
    GetRenderThread()->AddModule(spy);
    PlainResource* handle = new PlainResource;
    PlainResource::Data* data = nullptr;
    int frame = 0;
    int freedAtFrame = 0;
    int runsWhileLoading = 0;
    RunThreads([&] {
        ++frame;
        if (frame == 1) {
            handle->CreateUnique(); // loading, and only we will finish it
            data = handle->GetBlock();
            delete handle;
            return false;
        }
        if (frame == 30) {
            runsWhileLoading = UnloadSpyModule::runs;
            data->state = resource_state::kLoaded; // the "upload" ends
        }
        if (!freedAtFrame && output.Text() == "Dog my cat\n")
            freedAtFrame = frame;
        return freedAtFrame != 0;
    });
    EXPECT_GE(freedAtFrame, 30);
    // One task outstanding at a time, each run posting the next, all tagged
    // "unres" for the render thread.
    EXPECT_GE(runsWhileLoading, 1);
    EXPECT_LE(runsWhileLoading, 30) << runsWhileLoading;
    EXPECT_EQ(UnloadSpyModule::misaddressed, 0);
}

TEST_F(Resources, ChangeSourceStatusAndUnlockVBRunOnTheRenderThread)
{
    CaptureOutput output;
    static MeshResource* unlocked = nullptr;
    SetUnlockVertexBufferRoutine([](MeshResource* mesh) { unlocked = mesh; });
    if (!GetUnlockVBModule())
        CreateUnlockVBModule(GetRenderThread());
    PlainResource a;
    PlainResource b;
    a.CreateUnique();
    EXPECT_TRUE(b.AttachById(a.GetId()));
    uint32_t done = 0;
    int frame = 0;
    RunThreads([&] {
        if (++frame == 1) {
            QueueRegistry* registry = GetQueueRegistry();
            EngineThread* render = GetThreadMap().Find(kRenderThreadId);
            TaskMessage status;
            status.taskId = kChangeSourceStatusTask;
            status.Set<ChangeSourceStatusArgs::Object>(&a);
            status.Set<ChangeSourceStatusArgs::State>(resource_state::kLoaded);
            registry->AllocQueue(0)->PushTask(status, render, "status");
            TaskMessage unlock;
            unlock.taskId = kUnlockVBTask;
            unlock.Set<UnlockVBArgs::Mesh>(reinterpret_cast<MeshResource*>(&b));
            unlock.Set<UnlockVBArgs::Done>(&done);
            registry->AllocQueue(0)->PushTask(unlock, render, "vb");
            TaskMessage stray; // an id no module serves
            stray.taskId = RSHashConst("NobodyServesThis");
            registry->AllocQueue(0)->PushTask(stray, render, "stray");
        }
        return done == 2 && b.GetState() == resource_state::kLoaded;
    });
    EXPECT_EQ(b.GetState(), resource_state::kLoaded); // seen by every sharer
    EXPECT_EQ(done, 2u);
    EXPECT_EQ(unlocked, reinterpret_cast<MeshResource*>(&b));
    SetUnlockVertexBufferRoutine(nullptr);
}

} // namespace

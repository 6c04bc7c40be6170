#pragma once
// SerializableObject: the base of everything that can be stored in a file
// (transforms, scene nodes, every resource handle). Besides its own Serialize it
// carries the resource interface, which an object that is no resource answers
// with "valid, state 0, id 0" and does nothing.
//
// A resource file is: the format version (u16); when that is not 0, the
// object's id as decimal text with a zero byte; then the object's fields.
//
// SaveToFile throws the int 20 when the file cannot be opened for writing
// (after printing "Can't open file <name> to read." without a line end). Every
// caller catches it:
//   try { object.SaveToFile(name); } catch (int) { /* not written */ }
#include <cstdint>
#include <string>

class Archive;
class MemoryArchive;

inline constexpr int kSaveOpenFailed = 20;

class SerializableObject {
public:
    SerializableObject() = default;
    virtual ~SerializableObject();

    // Gives back the free memory of the type's block pool; true when some was.
    virtual bool ReleasePoolMemory();
    virtual void Serialize(Archive& archive) = 0;
    virtual bool IsValid();
    virtual uint32_t GetState();
    virtual uint32_t GetId();
    virtual void SetState(uint32_t state);
    virtual void CancelTasks();
    virtual void CreateUnique();
    virtual void CreateById(uint32_t id);
    virtual bool LoadByName(const std::string& name);
    virtual bool AttachById(uint32_t id);
    virtual void ReleaseResource();
    // Writes the object as a resource file with the format version it holds.
    virtual void SaveToFile(const std::string& name);
    // Reads the object from a resource file; false (the object untouched, or,
    // for a damaged file, emptied) when the file is missing or damaged.
    virtual bool LoadFromFile(const std::string& name);
    virtual void SetName(const std::string& name);
    // Takes the id text a resource file carries. An object that is no
    // resource is named by it; a resource takes the id a decimal text spells
    // (ids come back as they were written) and is named by any other text.
    virtual void SetIdText(const std::string& text);
    // Drops the type's id entries that no handle counts any more (a resource
    // type keeps them otherwise; tests and fuzz targets that make many names
    // call it between runs).
    virtual void ForgetClearedEntries();

    uint16_t formatVersion = 0;
    // Non-zero: the handle's destructor keeps its reference.
    uint8_t keepBlock = 0;
};

// Frames one object: its format version, its id text when the version is not
// 0 (a reading archive hands it to SetIdText), then its fields.
void SerializeResource(Archive& archive, SerializableObject& object);

// The file halves of SaveToFile and LoadFromFile, shared by every type.
// WriteObjectFile throws kSaveOpenFailed when the file cannot be opened.
void WriteObjectFile(SerializableObject& object, const std::string& name);

enum class FileReadResult { Read, Missing, Damaged };
// Loads the file, reports a missing one ("Can't load file: <name>") or a
// damaged one, and reads the object only from a file that is there.
FileReadResult ReadObjectFile(SerializableObject& object, const std::string& name);
// The same over bytes already in memory (the name only labels the report).
FileReadResult ReadObjectBytes(SerializableObject& object, const void* data, uint32_t size,
                               const std::string& name);

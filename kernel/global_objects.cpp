#include "kernel/global_objects.h"

#include <vector>

#include "kernel/serializable_object.h"

namespace {
// Built on first use: registrations run during static initialisation, in no
// fixed order with this file's own statics.
std::vector<SerializableObject*>& GlobalObjects()
{
    static auto* objects = new std::vector<SerializableObject*>;
    return *objects;
}
} // namespace

void AppendGlobalObject(SerializableObject* object)
{
    if (object)
        GlobalObjects().push_back(object);
}

void DeleteGlobalObjects()
{
    std::vector<SerializableObject*> objects;
    objects.swap(GlobalObjects());
    for (SerializableObject* object : objects) {
        object->ReleasePoolMemory();
        delete object;
    }
}

size_t GlobalObjectCount()
{
    return GlobalObjects().size();
}

void ForgetClearedResourceEntries()
{
    for (SerializableObject* object : GlobalObjects())
        object->ForgetClearedEntries();
}
